#include "app/AboutDlg.h"

std::vector<DialogField> CAboutDlg::Fields() {
  DialogField name;
  name.id = IDC_NAME;
  name.kind = FieldKind::Label;
  name.label = kAppVersionText;
  DialogField purpose;
  purpose.id = IDC_PURPOSE;
  purpose.kind = FieldKind::Label;
  purpose.label = "Reprograms a 68HC11 engine controller and its flash chip over a serial port.";
  return {name, purpose};
}
