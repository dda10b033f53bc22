// The byte protocol spoken with the talker once it runs in the target's RAM.
// Every operation runs on the UI thread and returns 1 for success, 0 for
// failure; what went wrong first is kept as the talker's fault, so that an
// operation can report a typed outcome beside its status texts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "target/Outcome.h"
#include "target/ProgressDlg.h"

class CLink;
class CProgrammer;

enum : uint8_t {
  CMD_READ = 0x01,
  CMD_WRITE = 0x41,
  CMD_EEPROM_WRITE = 0x31,
  CMD_FLASH_WRITE = 0x71,
  CMD_FLASH_BLOCK_WRITE = 0x51,
  CMD_FLASH_ID = 0xC8,
  CMD_CHIP_ERASE = 0xD1,
};

// How the echoed data phase of a write keeps its bytes on the wire: how
// many may be out unechoed at once.
enum class EchoPacing {
  Pairs,           // up to two at every moment (memory writes)
  PairsButLastTwo, // as Pairs, but the last two bytes of a chunk one at a time (flash)
  OneAtATime,      // each echo before the next byte: the talker programs the cell first (EEPROM)
};

// What a talker's signature block says it offers (target/Stream.h).
struct TalkerExtension {
  bool present = false;
  unsigned version = 0;
  unsigned readMax = 0;  // bytes per block read, 1..256
  uint8_t caps = 0;
};

class CTalker {
 public:
  explicit CTalker(CLink& link) : m_link(link) {}
  CTalker(const CTalker&) = delete;
  CTalker& operator=(const CTalker&) = delete;

  CLink& Link() { return m_link; }
  bool Connected() const;

  int SendByte(uint8_t byte);
  // Next received byte; dispatches UI events while waiting, 0 once the link is gone.
  uint8_t ReceiveByte();
  uint8_t ReceiveByteWait(int waitMs);
  // As ReceiveByteWait, but says whether a byte really arrived: 1 with the
  // byte stored in `byte`, 0 (byte untouched) when the link went away first.
  // The block operations use it so that a lost link is never mistaken for a 0x00.
  int ReceiveByteChecked(uint8_t& byte, int waitMs = 50);
  int SendCommandHeader(uint8_t command, unsigned address, uint8_t count);
  int WriteTargetBlock(unsigned address, const uint8_t* data, unsigned countMinusOne);
  int WriteTargetByte(unsigned address, uint8_t value);
  int ReadTargetByte(unsigned address, uint8_t& byte);
  int ReadTargetBlock(unsigned address, CProgrammer& programmer, unsigned countMinusOne);
  // The same under a progress window of another label ("Verifying").
  int ReadTargetBlock(unsigned address, CProgrammer& programmer, unsigned countMinusOne, const std::string& label,
                      Transfer transfer);

  // The data phase of every echoed write: `count` bytes (0 = 256) taken from
  // `source` at consecutive addresses from `address`, each echo compared with
  // its byte.  `sent` is told the address after each byte that went out.
  // false when the transfer cannot go on (the link failed); a wrong echo only
  // clears `result` and notes the fault.
  bool SendDataPhase(unsigned& address, uint8_t count, const std::function<uint8_t(unsigned)>& source,
                     EchoPacing pacing, int waitMs, int& result,
                     const std::function<void(unsigned)>& sent = std::function<void(unsigned)>());

  // ---- the extended protocol (target/Stream.h) ----
  // Known after a boot load (from the loader's signature block) or a probe
  // of the running talker; unknown after Force Prog Connection.
  bool ExtensionKnown() const { return m_extensionKnown; }
  const TalkerExtension& Extension() const { return m_extension; }
  void SetExtension(const TalkerExtension& extension) {
    m_extension = extension;
    m_extensionKnown = true;
  }
  void ForgetExtension() {
    m_extension = TalkerExtension();
    m_extensionKnown = false;
    m_rateNote.clear();
  }
  // What became of the rate switch after the download: "at 125000 baud", or
  // why the normal rate stayed; empty when none was asked for.
  const std::string& RateNote() const { return m_rateNote; }
  void SetRateNote(const std::string& note) { m_rateNote = note; }

  // ---- stopping ----
  // A command boundary: true (with the fault Outcome::Interrupted) when the
  // user asked the transfer to stop, which it then does here, before the
  // next command, so the talker is left waiting for a command.
  bool StopHere();

  // ---- what went wrong ----
  // The first fault since ClearFault(): its outcome and address.
  Outcome FaultOutcome() const { return m_fault; }
  unsigned FaultAddress() const { return m_faultAddress; }
  void ClearFault() {
    m_fault = Outcome::Ok;
    m_faultAddress = 0;
  }
  // Records a fault unless an earlier one is kept.
  void NoteFault(Outcome outcome, unsigned address = 0);
  // The fault as a result (Ok when there was none).
  OpResult FaultResult() const;
  // The fault was a wrong complement to the first command since the link was
  // opened: the talker is out of step with us (or not there).
  bool FaultOnFirstCommand() const { return m_fault == Outcome::CommandRejected && m_faultCommand == 1; }
  // Counts a command byte about to go out.
  void CountCommand();

 private:
  CLink& m_link;
  Outcome m_fault = Outcome::Ok;
  unsigned m_faultAddress = 0;
  unsigned m_faultCommand = 0;   // which command of the run the fault came with
  unsigned m_commands = 0;       // commands sent since the link was opened
  unsigned m_openSeen = 0;       // the link's opening they were counted in
  TalkerExtension m_extension;
  bool m_extensionKnown = false;
  std::string m_rateNote;
};
