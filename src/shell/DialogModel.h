// Dialogs are plain objects: their members, accessors, remembered values and
// data-exchange rules live here, and a shell shows them.  A model describes
// its controls as a list of fields in data-exchange order; the desktop shell
// builds a form from that list, the scripted test shell and the console shell
// edit the same fields by control id.  Values reach the members only through
// Exchange(), which validates first, so a refused OK changes nothing.
#pragma once

#include <string>
#include <vector>

enum class FieldKind {
  Text,       // edit box bound to a string
  Check,      // check box bound to an int (0/1)
  List,       // drop-down list bound to an int (selection index)
  EditCombo,  // drop-down combo with editable text bound to a string
  Label,      // static text, no binding
};

struct DialogGroup {
  std::string key;    // what DialogField::group refers to
  std::string title;  // group box title; empty draws an untitled box
  int column = 0;     // 0 left, 1 right; groups stack downwards per column
};

struct DialogField {
  int id = 0;  // the control id
  FieldKind kind = FieldKind::Text;
  std::string label;
  std::string group;  // DialogGroup::key, empty for the dialog's own area
  int maxChars = 0;   // Text/EditCombo: longest accepted text, 0 = no limit
  // Text fields that must read as a decimal integer within [minValue, maxValue].
  bool checkRange = false;
  bool isUnsigned = false;
  long long minValue = 0;
  long long maxValue = 0;
  std::vector<std::string> choices;  // List and EditCombo entries, in order
  std::string* text = nullptr;       // Text, EditCombo
  int* value = nullptr;              // Check, List
};

// Builders for the usual controls, so that a model's Fields() reads as a list.
DialogField TextField(int id, const std::string& label, const std::string& group, int maxChars,
                      std::string* member);
// A text box that must hold a decimal integer within [minValue, maxValue].
DialogField NumberField(int id, const std::string& label, const std::string& group, long long minValue,
                        long long maxValue, bool isUnsigned, std::string* member);
DialogField CheckField(int id, const std::string& label, const std::string& group, int* member);
DialogField ListField(int id, const std::string& label, const std::string& group,
                      const std::vector<std::string>& choices, int* member);
DialogField ComboField(int id, const std::string& label, const std::string& group, int maxChars,
                       const std::vector<std::string>& choices, std::string* member);
DialogField LabelField(int id, const std::string& text, const std::string& group);

// The content of one control when OK is pressed.
struct FieldInput {
  int id = 0;
  std::string text;  // Text, EditCombo
  int value = 0;     // Check, List
};

class CDialogModel {
 public:
  virtual ~CDialogModel() = default;

  virtual std::string Title() const = 0;
  virtual std::vector<DialogField> Fields() = 0;
  virtual std::vector<DialogGroup> Groups() { return {}; }
  // Control ids in the order a form draws them, top to bottom within each
  // group, when that differs from the exchange order; empty keeps Fields().
  virtual std::vector<int> DrawingOrder() { return {}; }
  // Checks beyond the per-field limits, run after the fields were copied in.
  // Return false with a message and the refused control's id to keep the
  // dialog open; Exchange() then restores the previous values.
  virtual bool Validate(std::string& /*message*/, int& /*badField*/) { return true; }

  // Shows the dialog through the process's shell; IDOK or IDCANCEL.
  virtual int DoModal();

  // The controls' present contents, read from the bound members.
  std::vector<FieldInput> CurrentInputs();

  // Validates `inputs` (one per bound field; fields missing from it keep
  // their present value) in exchange order: text limits, then ranges, then
  // Validate().  On success the members hold the inputs and 1 is returned.
  // On failure nothing changes, `message` says why and `badField` names the
  // control that gets the focus; 0 is returned.
  int Exchange(const std::vector<FieldInput>& inputs, std::string& message, int& badField);
};

// The standard refusal texts of the data exchange.
std::string TextTooLongMessage(int maxChars);
std::string RangeMessage(const DialogField& field);
