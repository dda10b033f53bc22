// The modeless progress window of long transfers.  The model keeps the bar's
// range and position and the three texts the window shows, and, typed, what
// is being done and how far it has come; the shell shows it and may ask the
// transfer to stop.
#pragma once

#include <cstdint>
#include <string>

// What a progress window reports on.
enum class Transfer {
  Read,         // reading memory into the image
  WriteMemory,  // plain memory writes
  WriteEeprom,  // the internal EEPROM
  WriteFlash,   // the external flash chip
  Verify,       // reading back what was written
  Erase,        // erasing the flash chip
};

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
  void Begin(const std::string& label, unsigned first, unsigned countMinusOne, unsigned firstValue,
             Transfer transfer = Transfer::Read);
  // Bytes moved so far (of m_total); the shell derives rate and time left.
  void SetDone(uint64_t done);

  long m_low = 0;
  long m_high = 100;
  long m_pos = 0;
  std::string m_label;    // at most 20 characters
  std::string m_address;  // at most 8
  std::string m_value;    // at most 8
  bool m_open = false;

  Transfer m_transfer = Transfer::Read;
  uint64_t m_done = 0;
  uint64_t m_total = 0;
  // What the transfer is about (the program file of a flash), when known.
  std::string m_subject;
  // Set by the shell when the user asks the transfer to stop (Cancel).
  bool m_stopRequested = false;
};

// Names what the transfers opened during its life are about: each progress
// window opened meanwhile shows it ("ecu.s19").
class CProgressSubject {
 public:
  explicit CProgressSubject(const std::string& subject);
  ~CProgressSubject();
  CProgressSubject(const CProgressSubject&) = delete;
  CProgressSubject& operator=(const CProgressSubject&) = delete;
  static const std::string& Current();

 private:
  std::string m_previous;
};
