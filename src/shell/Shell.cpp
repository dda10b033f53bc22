#include "shell/Shell.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>

#include "shell/DialogModel.h"
#include "shell/SettingsStore.h"

Shell* g_shell = nullptr;
SettingsStore* g_settings = nullptr;

NullShell::~NullShell() {
  if (m_installed && g_shell == this) g_shell = m_previous;
}

void NullShell::Install() {
  if (!m_installed) m_previous = g_shell;
  g_shell = this;
  m_installed = true;
}

int NullShell::MessageBox(const std::string& /*text*/, const std::string& /*caption*/, int type) {
  switch (type & MB_BUTTONMASK) {
    case MB_OKCANCEL:
      return IDCANCEL;
    case MB_YESNO:
      return IDNO;
    default:
      return IDOK;
  }
}

int NullShell::RunModal(CDialogModel& /*dialog*/) { return IDCANCEL; }

bool NullShell::ChooseFile(const FileDialogRequest& /*request*/, FileDialogResult& /*result*/) { return false; }

int AfxMessageBox(const std::string& text, int type) {
  if ((type & MB_ICONMASK) == 0) {
    type |= ((type & MB_BUTTONMASK) == MB_YESNO) ? MB_ICONQUESTION : MB_ICONEXCLAMATION;
  }
  if (!g_shell) return (type & MB_BUTTONMASK) == MB_YESNO ? IDNO : IDCANCEL;
  return g_shell->MessageBox(text, kAppTitle, type);
}

int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) {
  return g_settings ? g_settings->GetProfileInt(section, key, defaultValue) : defaultValue;
}
bool WriteProfileInt(const std::string& section, const std::string& key, int value) {
  return g_settings && g_settings->WriteProfileInt(section, key, value);
}
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue) {
  return g_settings ? g_settings->GetProfileString(section, key, defaultValue) : defaultValue;
}
bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value) {
  return g_settings && g_settings->WriteProfileString(section, key, value);
}

int GetProfileIntInRange(const std::string& section, const std::string& key, int defaultValue, int low,
                         int high) {
  const int value = GetProfileInt(section, key, defaultValue);
  if (value >= low && value <= high) return value;
  static std::set<std::string> reported;
  if (reported.insert(section + "/" + key).second) {
    std::string where = g_settings ? g_settings->Location() : std::string();
    AfxMessageBox("The stored setting \"" + key + "\" (section \"" + section + "\") holds " + std::to_string(value) +
                      ", which is out of range; " + std::to_string(defaultValue) + " is used instead." +
                      (where.empty() ? std::string() : "\nSettings: " + where),
                  MB_OK | MB_ICONINFORMATION);
  }
  return defaultValue;
}

int CDialogModel::DoModal() { return g_shell ? g_shell->RunModal(*this) : IDCANCEL; }

std::vector<FieldInput> CDialogModel::CurrentInputs() {
  std::vector<FieldInput> inputs;
  for (const DialogField& f : Fields()) {
    if (f.kind == FieldKind::Label) continue;
    FieldInput in;
    in.id = f.id;
    if (f.text) in.text = *f.text;
    if (f.value) in.value = *f.value;
    inputs.push_back(in);
  }
  return inputs;
}

namespace {
DialogField Field(int id, FieldKind kind, const std::string& label, const std::string& group) {
  DialogField f;
  f.id = id;
  f.kind = kind;
  f.label = label;
  f.group = group;
  return f;
}
}  // namespace

DialogField TextField(int id, const std::string& label, const std::string& group, int maxChars,
                      std::string* member) {
  DialogField f = Field(id, FieldKind::Text, label, group);
  f.maxChars = maxChars;
  f.text = member;
  return f;
}

DialogField NumberField(int id, const std::string& label, const std::string& group, long long minValue,
                        long long maxValue, bool isUnsigned, std::string* member) {
  DialogField f = Field(id, FieldKind::Text, label, group);
  f.checkRange = true;
  f.isUnsigned = isUnsigned;
  f.minValue = minValue;
  f.maxValue = maxValue;
  f.text = member;
  return f;
}

DialogField CheckField(int id, const std::string& label, const std::string& group, int* member) {
  DialogField f = Field(id, FieldKind::Check, label, group);
  f.value = member;
  return f;
}

DialogField ListField(int id, const std::string& label, const std::string& group,
                      const std::vector<std::string>& choices, int* member) {
  DialogField f = Field(id, FieldKind::List, label, group);
  f.choices = choices;
  f.value = member;
  return f;
}

DialogField ComboField(int id, const std::string& label, const std::string& group, int maxChars,
                       const std::vector<std::string>& choices, std::string* member) {
  DialogField f = Field(id, FieldKind::EditCombo, label, group);
  f.maxChars = maxChars;
  f.choices = choices;
  f.text = member;
  return f;
}

DialogField LabelField(int id, const std::string& text, const std::string& group) {
  return Field(id, FieldKind::Label, text, group);
}

std::string TextTooLongMessage(int maxChars) {
  return "Please enter no more than " + std::to_string(maxChars) + " characters.";
}

std::string RangeMessage(const DialogField& field) {
  return std::string(field.isUnsigned ? "Please enter a positive integer between " : "Please enter an integer between ") +
         std::to_string(field.minValue) + " and " + std::to_string(field.maxValue) + ".";
}

namespace {

// A whole decimal integer, optionally signed, with blanks around it.
bool ReadWholeInteger(const std::string& text, long long& out) {
  const char* p = text.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  if (!*p) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(p, &end, 10);
  if (end == p || errno == ERANGE) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end) return false;
  out = v;
  return true;
}

}  // namespace

int CDialogModel::Exchange(const std::vector<FieldInput>& inputs, std::string& message, int& badField) {
  std::vector<DialogField> fields = Fields();
  std::map<int, const FieldInput*> byId;
  for (const FieldInput& in : inputs) byId[in.id] = &in;

  // Limits and ranges first, in exchange order, before anything is stored.
  for (const DialogField& f : fields) {
    auto it = byId.find(f.id);
    if (it == byId.end()) continue;
    if (f.kind == FieldKind::Text || f.kind == FieldKind::EditCombo) {
      const std::string& t = it->second->text;
      if (f.maxChars > 0 && static_cast<int>(t.size()) > f.maxChars) {
        message = TextTooLongMessage(f.maxChars);
        badField = f.id;
        return 0;
      }
      if (f.checkRange) {
        long long v = 0;
        if (!ReadWholeInteger(t, v) || v < f.minValue || v > f.maxValue ||
            (f.isUnsigned && !t.empty() && t.find('-') != std::string::npos)) {
          message = RangeMessage(f);
          badField = f.id;
          return 0;
        }
      }
    }
  }

  // Keep the previous values so that a refusal by Validate() changes nothing.
  std::vector<std::string> oldTexts;
  std::vector<int> oldValues;
  for (const DialogField& f : fields) {
    oldTexts.push_back(f.text ? *f.text : std::string());
    oldValues.push_back(f.value ? *f.value : 0);
  }
  for (const DialogField& f : fields) {
    auto it = byId.find(f.id);
    if (it == byId.end()) continue;
    if (f.text) *f.text = it->second->text;
    if (f.value) *f.value = it->second->value;
  }
  if (!Validate(message, badField)) {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].text) *fields[i].text = oldTexts[i];
      if (fields[i].value) *fields[i].value = oldValues[i];
    }
    return 0;
  }
  return 1;
}
