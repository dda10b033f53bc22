// The About box: the program's name and version, OK only.
#pragma once

#include "shell/DialogModel.h"

class CAboutDlg : public CDialogModel {
 public:
  enum { IDC_NAME = 1100, IDC_PURPOSE = 1101 };
  std::string Title() const override { return "About KESTON Flash"; }
  std::vector<DialogField> Fields() override;
};

inline constexpr const char* kAppVersionText = "KESTON Flash Version 1.0";
