// The modeless, button-less progress window of long transfers.  The model
// keeps the bar's range and position and the three texts; the shell shows it.
#pragma once

#include <string>

class CProgressDlg {
 public:
  CProgressDlg();
  ~CProgressDlg();  // closes the window if it is open
  CProgressDlg(const CProgressDlg&) = delete;
  CProgressDlg& operator=(const CProgressDlg&) = delete;

  bool Create();
  int SetRange(long low, long high);
  int SetPos(long position);
  int SetLabel(const std::string& text);
  int SetAddress(unsigned address, bool show);  // "0x%4x"
  int SetValue(unsigned value, bool show);      // "0x%2x"
  // Opens the window for a transfer of countMinusOne + 1 bytes from `first`:
  // bar range and position, label, first address and the byte there.
  void Begin(const std::string& label, unsigned first, unsigned countMinusOne, unsigned firstValue);

  long m_low = 0;
  long m_high = 100;
  long m_pos = 0;
  std::string m_label;    // at most 20 characters
  std::string m_address;  // at most 8
  std::string m_value;    // at most 8
  bool m_open = false;
};
