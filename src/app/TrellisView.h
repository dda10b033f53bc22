// CTrellisView's logic half: the main view owns the serial link, the logs, its
// own CProgrammer and every command handler.  The desktop program draws it and
// forwards keys and commands to it; the tests call the same handlers.  The
// handlers are thin: they take the exchange guard, gather the command's
// options through its dialogs and hand them to the operation (src/operations,
// src/target), keeping the typed outcome in m_lastResult.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/Programmer.h"
#include "link/Link.h"
#include "link/Logs.h"
#include "target/Outcome.h"
#include "target/Talker.h"

class CTrellisView {
 public:
  // Reads section "Comm"; the port stays closed.  Without a device the
  // system's serial device is used.
  explicit CTrellisView(std::unique_ptr<CSerialDevice> device = nullptr);
  ~CTrellisView();  // disconnects and closes the logs
  CTrellisView(const CTrellisView&) = delete;
  CTrellisView& operator=(const CTrellisView&) = delete;

  CLink& Link() { return m_link; }
  const CLink& Link() const { return m_link; }
  CTalker& Talker() { return m_talker; }
  CLogs& Logs() { return m_logs; }

  // ---- port and connection ----
  bool OpenPort() { return m_link.OpenPort(); }
  void ClosePort() { m_link.ClosePort(); }
  void OnConnect();
  void OnDisconnect();
  // "Connected, Connection Normal" etc., then ", Logging comms, " while the
  // traffic log is open, and 24 blanks.
  std::string StatusLineText() const;

  // ---- keyboard ----
  void OnChar(unsigned code);
  void SendKeyFrame(unsigned keyNumber);
  void EchoTransmit(const uint8_t* bytes, int count);

  // ---- logs ----
  void OnLogComm();
  void OnLogRun();
  void WriteCommLog(std::string& line) { m_logs.WriteCommLog(line); }
  void WriteRunLog(std::string& line) { m_logs.WriteRunLog(line); }
  bool IsCommLogOpen() const { return m_logs.IsCommLogOpen(); }

  // ---- settings ----
  void OnSettings();

  // ---- target commands ----
  void OnBootLoad();
  void OnForceProgConnection();
  void OnEraseFlashChip();
  void OnFlashId();
  void OnClearProcessor();

  // ---- operations ----
  void OnFlashController();
  void OnFlashEepromChip();
  void OnQuickFlash();
  void OnSaveProgram();
  void OnWriteTargetRam();
  void OnReadMemory();
  void OnSetConfigEeprom();
  void OnLoadMemory();
  void OnSaveMemory();
  void OnChangeLoader();
  void OnChecksumMemory();

  // ---- command table ----
  // Runs the command with this id; false when it is unknown or unavailable.
  bool OnCommand(int id);
  // Whether the menu item of this id is available right now.
  bool IsCommandEnabled(int id) const;

  CProgrammer m_programmer;  // used by Load Memory and Save Memory only
  int m_displayComm = 1;
  // The typed outcome of the last command that talked to the controller.
  OpResult m_lastResult;

 private:
  // After a command that talked to the controller: says when the talker was
  // found out of step, which no retry of the command can mend.
  void AfterExchange();

  CLink m_link;
  CTalker m_talker{m_link};
  CLogs m_logs;
  bool m_keysRefusedSaid = false;  // "Keys are not sent..." shown since the last sent key
};

extern int g_charWidth;   // 10
extern int g_lineHeight;  // 18
