// A Qt form for a dialog model: one control per field, grouped and laid out
// in columns as the model says.  OK runs the model's data exchange; a refusal
// shows its message, puts the focus on the refused control and keeps the
// form open.  Nothing reaches the model unless the exchange accepts it.
#pragma once

#include <QDialog>
#include <map>

#include "shell/DialogModel.h"

class QWidget;

class DialogForm : public QDialog {
  Q_OBJECT
 public:
  DialogForm(CDialogModel& model, QWidget* parent = nullptr);

  // The control of a field, by control id (nullptr if there is none).
  QWidget* Control(int id) const;
  // What the controls hold now, in the model's terms.
  std::vector<FieldInput> Inputs() const;

 public slots:
  void accept() override;

 private:
  void BindPortDevices();

  CDialogModel& m_model;
  std::vector<DialogField> m_fields;
  std::map<int, QWidget*> m_controls;
};
