// "Load Offset": asked before a file is read into a CProgrammer.
#pragma once

#include <string>

#include "shell/DialogModel.h"

class CLoadOffsetDlg : public CDialogModel {
 public:
  enum { IDC_OFFSET = 1020, IDC_PREFILL = 1037, IDC_FILL = 1038 };

  CLoadOffsetDlg();
  ~CLoadOffsetDlg() override;

  std::string Title() const override { return "Load Offset"; }
  std::vector<DialogField> Fields() override;

  void SetOffset(int value);
  int GetOffset() const;
  void SetFillValue(int value);
  int GetFillValue() const;

  std::string m_offsetText;
  int m_preFill = 1;
  std::string m_fillText = "ff";
};
