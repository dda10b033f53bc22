// CTrellisView's logic half: the main view owns the serial port, the
// connection, the logs, its own CProgrammer and every command handler.  The
// desktop program draws it and forwards keys and commands to it; the command
// line calls the same handlers.  Methods live with their subsystem:
//   src/link/        port, receive thread, connection, logs, keyboard
//   src/target/      Boot Load, Force Prog Connection, Erase Flash Chip,
//                    Flash ID, Clear Processor
//   src/operations/  Flash Controller, Flash EEPROM CHIP, QuickFlash,
//                    Save Program, memory tools, Load/Save Memory,
//                    Change Loader, Checksum Memory
//   src/app/         command table and dispatch, Settings
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "image/Programmer.h"

class CTrellisView {
 public:
  CTrellisView();   // reads section "Comm", marks the port closed, sets g_pView
  ~CTrellisView();  // disconnects and closes the logs

  // ---- port (src/link) ----
  bool OpenPort();
  bool ConfigurePort();
  void ClosePort();
  // The device path that port index `port` (0..3) opens ("Comm", "Device n").
  static std::string DevicePathForPort(int port);

  // ---- receive thread and connection (src/link) ----
  void OnReceive(const uint8_t* bytes, int count);
  void OnConnect();
  void OnDisconnect();
  // "Connected, Connection Normal" etc., then ", Logging comms, " while the
  // traffic log is open, and 24 blanks.
  std::string StatusLineText() const;

  // ---- keyboard (src/link) ----
  void OnChar(unsigned code);
  void SendKeyFrame(unsigned keyNumber);
  void EchoTransmit(const uint8_t* bytes, int count);

  // ---- logs (src/link) ----
  void OnLogComm();
  void OnLogRun();
  void WriteCommLog(std::string& line);
  void WriteRunLog(std::string& line);
  bool IsCommLogOpen() const;

  // ---- settings (src/app) ----
  void OnSettings();

  // ---- target commands (src/target) ----
  void OnBootLoad();
  void OnForceProgConnection();
  void OnEraseFlashChip();
  void OnFlashId();
  void OnClearProcessor();

  // ---- operations (src/operations) ----
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

  // ---- command table (src/app) ----
  // Runs the command with this id; false when it is unknown or unavailable.
  bool OnCommand(int id);
  // Whether the menu item of this id is available right now.
  bool IsCommandEnabled(int id) const;

  CProgrammer m_programmer;  // used by Load Memory and Save Memory only
  int m_displayComm = 1;
  std::string m_msgBuf;

  // Port, thread and log state kept by src/link.
  struct LinkImpl;
  std::unique_ptr<LinkImpl> m_link;
};

extern CTrellisView* g_pView;
extern int g_charWidth;   // 10
extern int g_lineHeight;  // 18
