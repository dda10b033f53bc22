#include "cli/Commands.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <istream>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "app/MainFrame.h"
#include "app/TrellisView.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleShell.h"
#include "cli/ExitStatus.h"
#include "cli/OverlayStore.h"
#include "image/LoadOffsetDlg.h"
#include "image/Programmer.h"
#include "link/ByteFifo.h"
#include "link/LinkImpl.h"
#include "link/LinkState.h"
#include "link/SerialPorts.h"
#include "operations/AddressRangeDlg.h"
#include "operations/EepromDlg.h"
#include "shell/QSettingsStore.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "target/Talker.h"

namespace {

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      // "Boot Compare Failed!\nGot 280 bytes, Expected 300" reads best joined by "; ".
      size_t next = text.find_first_not_of(' ', i + 1);
      text.replace(i, (next == std::string::npos ? text.size() : next) - i, "; ");
    }
  }
  return text;
}

bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

// Everything one run needs, built in the order the desktop program builds it:
// settings, shell, main frame, main view.
class Session {
 public:
  Session(const CliOptions& options, std::ostream& results, std::ostream& err, std::istream& in,
          bool stdinTty, bool stderrTty)
      : m_options(options),
        m_results(results),
        m_err(err),
        m_store(options.settingsFile.empty() ? std::make_unique<QSettingsStore>()
                                             : std::make_unique<QSettingsStore>(options.settingsFile)),
        m_overlay(*m_store),
        m_shell(ShellSettings(options, stdinTty, stderrTty), err, in) {
    ApplyOverrides();
    m_previousStore = g_settings;
    g_settings = &m_overlay;
    m_shell.Install();
    m_frame = std::make_unique<CMainFrame>();
    m_view = std::make_unique<CTrellisView>();
    m_shell.onPullLine = [this] { m_view->OnDisconnect(); };
    if (options.verbose) m_shell.onBeforePrint = [this] { PrintWireTrace(); };
    m_shell.onIdle = [this] {
      PrintWireTrace();
      PrintCommErrors();
    };
    m_shell.onUiPane = [this](int pane) {
      if (pane == PANE_DTC) CaptureDtcLine();
    };
    m_view->m_link->receiveObserver = [this](const uint8_t* bytes, int count) { Received(bytes, count); };
    m_view->m_link->transmitObserver = [this](const uint8_t* bytes, unsigned count) {
      Trace(true, bytes, count);
    };
  }

  ~Session() {
    // The port closes (and the receive thread ends) before the shell and the
    // store it reports to go away.
    m_view.reset();
    m_frame.reset();
    g_settings = m_previousStore;
  }

  int Run();
  const std::string& Failure() const { return m_failure; }

 private:
  static ConsoleShell::Settings ShellSettings(const CliOptions& o, bool stdinTty, bool stderrTty) {
    ConsoleShell::Settings s;
    s.yes = o.yes;
    s.quiet = o.quiet;
    s.verbose = o.verbose;
    s.interactive = stdinTty;
    s.progressTerminal = stderrTty && !o.quiet;
    s.timeoutSeconds = o.timeoutSeconds;
    return s;
  }

  void ApplyOverrides() {
    if (!m_options.device.empty()) {
      m_overlay.Override("Comm", "Port", 0);
      m_overlay.Override("Comm", "Device 1", m_options.device);
    } else if (m_options.port) {
      m_overlay.Override("Comm", "Port", *m_options.port - 1);
    }
    if (m_options.baud) m_overlay.Override("Comm", "Normal Baud", *m_options.baud);
    if (m_options.bootBaud) m_overlay.Override("Comm", "BSB", *m_options.bootBaud);
    if (!m_options.talker.empty()) {
      std::error_code ec;
      std::filesystem::path path = std::filesystem::absolute(m_options.talker, ec);
      if (ec) path = m_options.talker;
      std::string folder = path.parent_path().string();
      if (folder.empty() || folder.back() != '/') folder += '/';
      m_overlay.Override("file", "BOOT PATH", folder);
      m_overlay.Override("file", "BOOT NAME", path.filename().string());
    }
  }

  // A read ends with the host's acknowledgement of the last byte, and nothing
  // tells when the talker has taken it; the purge of the closing port can
  // still discard it, which leaves the talker waiting for it and makes the
  // next run's first command byte that acknowledgement.  An identification ends with a byte
  // the talker sends only after it took our last one, so after it the talker
  // is idle and the next run starts in step.
  void SettleTalker() {
    // After a failure the talker may be out of step already; do not let that
    // hold up the report for the whole time-out.
    m_shell.SetTimeout(m_options.timeoutSeconds > 0 ? std::min(m_options.timeoutSeconds, 3) : 3);
    m_shell.NoteActivity();
    GetFlashId();
    g_rxFifo.Clear();
  }

  // ---- what the run saw ----
  void Received(const uint8_t* bytes, int count) {
    // Receive thread: a byte from the target is the surest sign of life.
    m_shell.NoteActivity();
    Trace(false, bytes, static_cast<unsigned>(count));
  }

  void Trace(bool fromHost, const uint8_t* bytes, unsigned count) {
    if (!m_options.verbose) return;
    std::lock_guard<std::mutex> lock(m_traceMutex);
    if (m_trace.empty() || m_trace.back().first != fromHost) m_trace.push_back({fromHost, {}});
    m_trace.back().second.insert(m_trace.back().second.end(), bytes, bytes + count);
  }

  // Both directions in the order they met the port, sixteen bytes a line.
  void PrintWireTrace() {
    std::vector<std::pair<bool, std::vector<uint8_t>>> runs;
    {
      std::lock_guard<std::mutex> lock(m_traceMutex);
      runs.swap(m_trace);
    }
    for (const auto& [fromHost, bytes] : runs) {
      for (size_t i = 0; i < bytes.size(); i += 16) {
        std::string line = fromHost ? "tx" : "rx";
        for (size_t j = i; j < bytes.size() && j < i + 16; ++j) {
          char b[4];
          std::snprintf(b, sizeof b, " %02x", bytes[j]);
          line += b;
        }
        m_shell.Note(line);
      }
    }
  }

  void PrintCommErrors() {
    if (m_shell.commErrChanges.load() == m_commErrSeen) return;
    m_commErrSeen = m_shell.commErrChanges.load();
    std::vector<std::string> lines = m_frame->m_pCommErrPane->Lines();
    if (lines.size() < m_commErrPrinted) m_commErrPrinted = 0;  // the pane was trimmed or cleared
    for (size_t i = m_commErrPrinted; i < lines.size(); ++i) {
      m_commErrors.push_back(lines[i]);
      if (!m_options.quiet) m_shell.Note(lines[i]);
    }
    m_commErrPrinted = lines.size();
  }

  void CaptureDtcLine() {
    int count = m_frame->m_pDtcPane->Count();
    if (count == m_dtcCount) return;  // a new title, no new line
    m_dtcCount = count;
    if (count == 0) return;
    std::vector<std::string> lines = m_frame->m_pDtcPane->Lines();
    if (!lines.empty()) m_dtcLines.push_back(lines.back());
  }

  // ---- outcome ----
  int Fail(int status, const std::string& what) {
    if (m_failStatus == EXIT_OK) {
      m_failStatus = status;
      m_failure = what;
    }
    return status;
  }

  // The link's own troubles outrank whatever the operation then made of them.
  bool LinkTrouble(const std::string& command, bool expectConnected) {
    PrintCommErrors();
    if (m_shell.interrupted) {
      Fail(EXIT_INTERRUPTED, command + ": interrupted; the link was closed");
      return true;
    }
    if (m_shell.timedOut) {
      Fail(EXIT_LINK, command + ": the controller did not answer for " +
                          std::to_string(m_options.timeoutSeconds) +
                          " s; the link was closed (is the talker running? see --bootload)");
      return true;
    }
    for (const std::string& line : m_commErrors) {
      if (line.find("device lost") != std::string::npos) {
        Fail(EXIT_LINK, command + ": the line to the controller was lost (" + OneLine(line) + ")");
        return true;
      }
    }
    if (expectConnected && !g_connected.load()) {
      Fail(EXIT_LINK, command + ": the line to the controller was lost" +
                          (m_commErrors.empty() ? std::string() : " (" + OneLine(m_commErrors.back()) + ")"));
      return true;
    }
    return false;
  }

  bool Refused(const std::string& command) {
    if (!m_shell.refusal.empty()) {
      Fail(EXIT_USAGE, command + ": " + m_shell.refusal);
      return true;
    }
    return false;
  }

  bool Declined(const std::string& command) {
    if (m_shell.declined.empty()) return false;
    Fail(EXIT_DECLINED, command + ": not confirmed: " + OneLine(m_shell.declined.back()));
    return true;
  }

  const ConsoleShell::Box* FindBox(const std::string& head) const {
    for (const ConsoleShell::Box& b : m_shell.boxes)
      if (StartsWith(b.text, head)) return &b;
    return nullptr;
  }

  std::string DeviceName() const {
    return CTrellisView::DevicePathForPort(g_port) + " (port " + std::to_string(g_port + 1) + ")";
  }

  std::string LastCommError() const {
    return m_commErrors.empty() ? std::string() : ": " + OneLine(m_commErrors.back());
  }

  // ---- steps shared by several commands ----
  bool CheckReadable(const std::string& what, const std::string& path) {
    std::error_code ec;
    // A folder opens for reading here and then reads as an empty file.
    if (std::filesystem::is_directory(path, ec)) {
      Fail(EXIT_FILE, "cannot read " + what + " " + path + ": it is a folder");
      return false;
    }
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
      Fail(EXIT_FILE, "cannot open " + what + " " + path + ": " + std::strerror(errno));
      return false;
    }
    std::fclose(f);
    return true;
  }

  int BootLoad();
  bool Connect(const std::string& command);
  void AnswerLoadOffset();
  // The range a flash of this file will cover, for the progress display.
  bool FileBounds(const std::string& path, unsigned& low, unsigned& high);

  int Flash(bool quick);
  int Read();
  int Erase();
  int Id();
  int MemoryTool(const std::string& command);
  int ReadMem();
  int Checksum();
  int Verify();
  int Devices();

  const CliOptions& m_options;
  std::ostream& m_results;
  std::ostream& m_err;
  std::unique_ptr<QSettingsStore> m_store;
  OverlayStore m_overlay;
  ConsoleShell m_shell;
  SettingsStore* m_previousStore = nullptr;
  std::unique_ptr<CMainFrame> m_frame;
  std::unique_ptr<CTrellisView> m_view;
  std::vector<unsigned> m_numbers;

  std::mutex m_traceMutex;
  std::vector<std::pair<bool, std::vector<uint8_t>>> m_trace;  // (from host, bytes) runs
  int m_commErrSeen = 0;
  size_t m_commErrPrinted = 0;
  std::vector<std::string> m_commErrors;
  int m_dtcCount = 0;
  std::vector<std::string> m_dtcLines;

  int m_failStatus = EXIT_OK;
  std::string m_failure;
};

int Session::BootLoad() {
  if (!m_options.talker.empty() && !CheckReadable("the loader file", m_options.talker)) return m_failStatus;
  CProgrammer programmer;
  int result = programmer.BootLoad(m_options.noResetPrompt);
  uint8_t hprio = 0;
  int answered = result && g_connected.load() && !m_shell.timedOut ? ReadTargetByte(REG_HPRIO, hprio) : 0;
  // Silence right after an echoed download is the loader's doing, not the line's.
  if (result && m_shell.timedOut && !m_shell.interrupted)
    return Fail(EXIT_TARGET, "bootload: the loader was sent and echoed, but no talker answers (is " +
                                 (m_options.talker.empty() ? std::string("the remembered loader file")
                                                           : m_options.talker) +
                                 " a talker for this controller?)");
  if (result && !g_connected.load() && m_shell.SawStatus("Controler Connection Failed")) {
    PrintCommErrors();
    return Fail(EXIT_LINK, "bootload: the loader was sent, but reopening " + DeviceName() + " at " +
                               std::to_string(g_normalBaud) + " bit/s failed" + LastCommError());
  }
  if (LinkTrouble("bootload", result != 0)) return m_failStatus;
  if (!result) {
    if (FindBox("Cannot open Boot file"))
      return Fail(EXIT_FILE,
                  m_options.talker.empty()
                      ? "bootload: no loader file is remembered or it cannot be opened; name one with "
                        "--talker FILE"
                      : "bootload: cannot read the loader file " + m_options.talker);
    if (FindBox("Failed to open connection"))
      return Fail(EXIT_LINK, "bootload: cannot open " + DeviceName() + " at " +
                                 std::to_string(g_bootstrapBaud) + " bit/s" + LastCommError());
    if (const ConsoleShell::Box* box = FindBox("Boot Compare Failed!"))
      return Fail(EXIT_TARGET, "bootload: the controller did not echo the loader (" + OneLine(box->text) +
                                   "); is it reset into bootstrap mode?");
    if (!m_shell.boxes.empty()) return Fail(EXIT_FILE, "bootload: " + OneLine(m_shell.boxes.back().text));
    return Fail(EXIT_TARGET, "bootload failed: " + OneLine(m_shell.LastStatus()));
  }
  // The download's own first read is not checked; a talker that does not
  // answer ours (read above) did not start.
  if (!answered || LinkTrouble("bootload", true))
    return m_failStatus != EXIT_OK
               ? m_failStatus
               : Fail(EXIT_TARGET, "bootload: the talker does not answer after the download");
  return EXIT_OK;
}

bool Session::Connect(const std::string& command) {
  if (m_options.bootload) return BootLoad() == EXIT_OK;
  // The talker was left running by an earlier run; this is the program's own
  // Force Prog Connection.
  m_view->OnForceProgConnection();
  PrintCommErrors();
  if (!g_connected.load()) {
    Fail(EXIT_LINK, command + ": cannot open " + DeviceName() + LastCommError());
    return false;
  }
  return true;
}

void Session::AnswerLoadOffset() {
  ConsoleShell::DialogAnswer a;
  if (m_options.offset) a.texts[CLoadOffsetDlg::IDC_OFFSET] = Hex(*m_options.offset);
  if (m_options.noPrefill) a.values[CLoadOffsetDlg::IDC_PREFILL] = 0;
  if (m_options.fill) {
    a.values[CLoadOffsetDlg::IDC_PREFILL] = 1;
    a.texts[CLoadOffsetDlg::IDC_FILL] = Hex(*m_options.fill);
  }
  m_shell.AnswerDialog("Load Offset", a);
}

bool Session::FileBounds(const std::string& path, unsigned& low, unsigned& high) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  CProgrammer scratch;
  scratch.m_loadOffset = static_cast<uint16_t>(m_options.offset.value_or(0));
  scratch.ReadSRecordFile(f);
  std::fclose(f);
  if (scratch.m_lowest > scratch.m_highest) return false;
  low = scratch.m_lowest;
  high = scratch.m_highest;
  return true;
}

int Session::Flash(bool quick) {
  const std::string command = quick ? "quickflash" : "flash";
  std::string file;
  if (quick) {
    file = GetProfileString("file", "Default path", "") + GetProfileString("file", "Default Name", "");
  } else {
    if (!CheckReadable("the program file", m_options.args[0])) return m_failStatus;
    std::error_code ec;
    file = std::filesystem::absolute(m_options.args[0], ec).string();
    if (ec) file = m_options.args[0];
    m_shell.AnswerFile("Select file name to Load", file);
    AnswerLoadOffset();
    ConsoleShell::DialogAnswer a;
    if (m_options.range) {
      a.texts[CAddressRangeDlg::IDC_START] = Hex(m_options.range->first);
      a.texts[CAddressRangeDlg::IDC_FINISH] = Hex(m_options.range->last);
    }
    // A step the command line does not ask for is left out, whatever an
    // earlier run of either program left ticked.
    a.values[CAddressRangeDlg::IDC_EXCLUDE_ACTIVE] = m_options.exclude ? 1 : 0;
    if (m_options.exclude) {
      a.texts[CAddressRangeDlg::IDC_EXCLUDE_START] = Hex(m_options.exclude->first);
      a.texts[CAddressRangeDlg::IDC_EXCLUDE_END] = Hex(m_options.exclude->last);
    }
    a.values[CAddressRangeDlg::IDC_CONFIG_ENABLED] = m_options.config ? 1 : 0;
    if (m_options.config) a.texts[CAddressRangeDlg::IDC_CONFIG_VALUE] = Hex(*m_options.config);
    a.values[CAddressRangeDlg::IDC_ENABLE_EEPROM] = m_options.eepromStart ? 1 : 0;
    if (m_options.eepromStart) {
      a.texts[CAddressRangeDlg::IDC_EEPROM_START] = Hex(*m_options.eepromStart);
      a.texts[CAddressRangeDlg::IDC_EEPROM_LENGTH] = Hex(m_options.eepromLength.value_or(0x200));
    }
    a.values[CAddressRangeDlg::IDC_WRITE_ALL_RANGE] = m_options.writeAll ? 1 : 0;
    m_shell.AnswerDialog("Address Range", a);
  }

  unsigned low = 0, high = 0xFFFF;
  if (m_options.range) {
    low = m_options.range->first;
    high = m_options.range->last;
  } else {
    FileBounds(file, low, high);
  }

  if (!Connect(command)) return m_failStatus;
  m_shell.TrackStatusAddresses("Writing Flash", low, high);
  CProgrammer programmer;
  int result = programmer.FlashController(m_options.blockChip, quick);
  m_shell.StopTrackingStatusAddresses();

  if (LinkTrouble(command, true) || Refused(command)) return m_failStatus;
  const std::string last = m_shell.LastStatus();
  if (result == 1 && last == "Memory written correctly") return EXIT_OK;
  if (FindBox("Can't write, not connected")) return Fail(EXIT_LINK, command + ": Can't write, not connected");
  // A file with bad records: QuickFlash refuses it, Flash asks first.
  for (const ConsoleShell::Box& b : m_shell.boxes) {
    if (b.text.find("failed its checksum") != std::string::npos ||
        b.text.find("failed their checksum") != std::string::npos)
      return Fail(quick ? EXIT_FILE : EXIT_DECLINED, command + ": " + OneLine(b.text));
  }
  if (Declined(command)) return m_failStatus;
  if (result == 0) {
    if (quick && !m_shell.unansweredFiles.empty())
      return Fail(EXIT_FILE, "quickflash: the remembered program file " +
                                 (file.empty() ? std::string("(none)") : file) +
                                 " cannot be opened; flash a file with keston-cli flash FILE first");
    if (last == "Get File to Load")
      return Fail(EXIT_FILE, command + ": cannot load the program file " + file);
    return Fail(EXIT_TARGET, command + " stopped: " + OneLine(last));
  }
  if (StartsWith(last, "Nothing written to flash"))
    return Fail(EXIT_FILE, command + ": " + last + " (the file holds no data in the range)");
  return Fail(EXIT_TARGET, command + ": " + OneLine(last));
}

int Session::Read() {
  const std::string& file = m_options.args[1];
  ConsoleShell::DialogAnswer a;
  a.texts[CAddressRangeDlg::IDC_START] = Hex(m_numbers[0]);
  a.texts[CAddressRangeDlg::IDC_FINISH] = Hex(m_numbers[1]);
  a.values[CAddressRangeDlg::IDC_EXCLUDE_ACTIVE] = m_options.exclude ? 1 : 0;
  if (m_options.exclude) {
    a.texts[CAddressRangeDlg::IDC_EXCLUDE_START] = Hex(m_options.exclude->first);
    a.texts[CAddressRangeDlg::IDC_EXCLUDE_END] = Hex(m_options.exclude->last);
  }
  a.values[CAddressRangeDlg::IDC_ENABLE_EEPROM] = m_options.eepromStart ? 1 : 0;
  if (m_options.eepromStart) a.texts[CAddressRangeDlg::IDC_EEPROM_START] = Hex(*m_options.eepromStart);
  m_shell.AnswerDialog("Address Range", a);
  m_shell.AnswerFile("Select file name to Save Program", file);

  if (!Connect("read")) return m_failStatus;
  CProgrammer programmer;
  int result = programmer.SaveProgram();
  if (LinkTrouble("read", true) || Refused("read")) return m_failStatus;
  const std::string last = m_shell.LastStatus();
  if (result == 1 && last == "Program Sucessfully Read!!") return EXIT_OK;
  if (FindBox("Can't write, not connected")) return Fail(EXIT_LINK, "read: Can't write, not connected");
  if (Declined("read")) return m_failStatus;
  if (const ConsoleShell::Box* box = FindBox("Cannot create the file"))
    return Fail(EXIT_FILE, "read: " + OneLine(box->text));
  if (const ConsoleShell::Box* box = FindBox("The file could not be saved completely"))
    return Fail(EXIT_FILE, "read: " + OneLine(box->text));
  if (last == "Program not saved!") return Fail(EXIT_FILE, "read: Program not saved! (" + file + ")");
  return Fail(EXIT_TARGET, "read: " + OneLine(last));
}

int Session::Erase() {
  if (!Connect("erase")) return m_failStatus;
  CProgrammer programmer;
  int result = programmer.EraseFlash();
  if (LinkTrouble("erase", true)) return m_failStatus;
  if (result == 1) return EXIT_OK;
  if (Declined("erase")) return m_failStatus;
  if (FindBox("Communications not connected")) return Fail(EXIT_LINK, "erase: Communications not connected");
  if (FindBox("AMD Erase Failed!")) return Fail(EXIT_TARGET, "erase: AMD Erase Failed!");
  return Fail(EXIT_TARGET, "erase failed: " + OneLine(m_shell.LastStatus()));
}

int Session::Id() {
  if (!Connect("id")) return m_failStatus;
  unsigned id = GetFlashId();
  if (LinkTrouble("id", true)) return m_failStatus;
  if (id == 0) return Fail(EXIT_TARGET, "id: the talker did not acknowledge the identify command");
  unsigned manufacturer = id >> 8, device = id & 0xFF;
  std::string name = id == kFlashEepromChipId
                         ? "Flash EEPROM (programmed in 64-byte blocks, cannot be erased)"
                     : id == 0x0120 ? "AMD29F010"
                                    : "unknown chip, treated as AMD29F010";
  char line[160];
  std::snprintf(line, sizeof line, "manufacturer 0x%02x, device 0x%02x: %s\n", manufacturer, device,
                name.c_str());
  m_results << line;
  return EXIT_OK;
}

int Session::MemoryTool(const std::string& command) {
  ConsoleShell::DialogAnswer a;
  a.texts[CEepromDlg::IDC_ADDRESS] = Hex(m_numbers[0]);
  a.texts[CEepromDlg::IDC_VALUE] = Hex(m_numbers[1]);
  a.texts[CEepromDlg::IDC_LENGTH] = Hex(m_numbers.size() > 2 ? m_numbers[2] : 1);
  m_shell.AnswerDialog("Select EEPROM Range & Value", a);
  if (!Connect(command)) return m_failStatus;
  const bool ram = command == "write-ram";
  if (ram)
    m_view->OnWriteTargetRam();
  else
    m_view->OnSetConfigEeprom();
  if (LinkTrouble(command, true) || Refused(command)) return m_failStatus;
  const std::string ok = ram ? "Ram write Suceeded!" : "EEprom write Suceeded!";
  if (m_shell.LastStatus() == ok) return EXIT_OK;
  if (FindBox("Controller not Connected!")) return Fail(EXIT_LINK, command + ": Controller not Connected!");
  if (FindBox("BPROT clear failed")) return Fail(EXIT_TARGET, command + ": BPROT clear failed");
  if (!ram && m_shell.LastStatus() == "EEprom write failed!")
    return Fail(EXIT_TARGET, command + ": EEprom write failed! (is " + Hex(m_numbers[0]) +
                                 " inside the EEPROM window of its page, or 103f?)");
  return Fail(EXIT_TARGET, command + ": " + OneLine(m_shell.LastStatus()));
}

int Session::ReadMem() {
  const unsigned address = m_numbers[0];
  const unsigned length = m_numbers.size() > 1 ? m_numbers[1] : 1;
  ConsoleShell::DialogAnswer a;
  a.texts[CEepromDlg::IDC_ADDRESS] = Hex(address);
  a.texts[CEepromDlg::IDC_LENGTH] = Hex(length);
  m_shell.AnswerDialog("Select EEPROM Range & Value", a);
  if (!Connect("read-mem")) return m_failStatus;
  m_dtcLines.clear();
  m_dtcCount = m_frame->m_pDtcPane->Count();
  m_view->OnReadMemory();

  // The pane shows "Address ", the address, then one "%2x " line per byte.
  std::vector<uint8_t> bytes;
  for (size_t i = 2; i < m_dtcLines.size(); ++i)
    bytes.push_back(static_cast<uint8_t>(std::strtoul(m_dtcLines[i].c_str(), nullptr, 16)));
  // Print what was read even when the run stopped early.
  for (size_t i = 0; i < bytes.size(); i += 16) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:", static_cast<unsigned>((address + i) & 0xFFFF));
    std::string line = text, ascii;
    for (size_t j = 0; j < 16; ++j) {
      if (i + j < bytes.size()) {
        std::snprintf(text, sizeof text, " %02x", bytes[i + j]);
        line += text;
        ascii += (bytes[i + j] >= 0x20 && bytes[i + j] < 0x7F) ? static_cast<char>(bytes[i + j]) : '.';
      } else {
        line += "   ";
      }
    }
    m_results << line << "  |" << ascii << "|\n";
  }
  if (LinkTrouble("read-mem", true) || Refused("read-mem")) return m_failStatus;
  if (FindBox("Controller not Connected!")) return Fail(EXIT_LINK, "read-mem: Controller not Connected!");
  if (m_shell.LastStatus() == "Read failed!" || bytes.size() != length)
    return Fail(EXIT_TARGET, "read-mem: Read failed! after " + std::to_string(bytes.size()) + " of " +
                                 std::to_string(length) + " bytes");
  return EXIT_OK;
}

int Session::Checksum() {
  const std::string& file = m_options.args[0];
  if (!CheckReadable("the file", file)) return m_failStatus;
  m_shell.AnswerFile("", file);
  AnswerLoadOffset();
  if (m_numbers.size() == 2) {
    ConsoleShell::DialogAnswer a;
    a.texts[CAddressRangeDlg::IDC_START] = Hex(m_numbers[0]);
    a.texts[CAddressRangeDlg::IDC_FINISH] = Hex(m_numbers[1]);
    m_shell.AnswerDialog("Address Range", a);
  }
  m_shell.resultStatusPrefix = "Checksum 0x ";
  CProgrammer programmer;
  programmer.ComputeFileChecksum();
  if (Refused("checksum")) return m_failStatus;
  const std::string last = m_shell.LastStatus();
  if (!StartsWith(last, "Checksum 0x ")) return Fail(EXIT_FILE, "checksum: cannot read " + file);
  m_results << last << '\n';
  if (last.find("failed") != std::string::npos)
    return Fail(EXIT_FILE, "checksum: " + file + " has records whose checksum fails");
  return EXIT_OK;
}

int Session::Verify() {
  const std::string& file = m_options.args[0];
  if (!CheckReadable("the file", file)) return m_failStatus;
  FILE* f = std::fopen(file.c_str(), "r");
  if (!f) return Fail(EXIT_FILE, "cannot open the file " + file + ": " + std::strerror(errno));
  CProgrammer expected;
  expected.m_loadOffset = static_cast<uint16_t>(m_options.offset.value_or(0));
  expected.m_badRecords = 0;
  expected.ReadSRecordFile(f);
  std::fclose(f);
  if (expected.m_badRecords != 0)
    return Fail(EXIT_FILE, "verify: " + file + ": " + std::to_string(expected.m_badRecords) +
                               " records failed their checksum");
  if (expected.m_lowest > expected.m_highest) return Fail(EXIT_FILE, "verify: " + file + " holds no S1 data");
  unsigned first = m_options.range ? m_options.range->first : expected.m_lowest;
  unsigned last = m_options.range ? m_options.range->last : expected.m_highest;

  if (!Connect("verify")) return m_failStatus;
  // With the EEPROM mapped into a page, its cells would be read instead of
  // the flash there.
  if (!EepromOff()) {
    if (LinkTrouble("verify", true)) return m_failStatus;
    return Fail(EXIT_TARGET, "verify: the controller did not accept switching the EEPROM off");
  }
  CProgrammer actual;
  int result = ReadTargetBlock(first, actual, last - first);
  if (LinkTrouble("verify", true)) return m_failStatus;
  if (!result) return Fail(EXIT_TARGET, "verify: reading " + Hex(first) + "-" + Hex(last) + " failed");

  unsigned compared = 0, differing = 0, firstDiff = 0;
  for (unsigned a = first; a <= last; ++a) {
    if (!expected.m_written[a]) continue;
    ++compared;
    if (expected.GetImageByte(a) != actual.GetImageByte(a)) {
      if (differing++ == 0) firstDiff = a;
    }
  }
  char line[200];
  if (differing == 0) {
    std::snprintf(line, sizeof line, "verify: %u bytes of %s in %04x-%04x match\n", compared, file.c_str(),
                  first, last);
    m_results << line;
    return EXIT_OK;
  }
  std::snprintf(line, sizeof line,
                "verify: %u of %u bytes differ; first difference at %04x (file %02x, controller %02x)\n",
                differing, compared, firstDiff, expected.GetImageByte(firstDiff),
                actual.GetImageByte(firstDiff));
  m_results << line;
  return Fail(EXIT_DIFFERS, "verify: the controller's memory differs from " + file);
}

int Session::Devices() {
  std::vector<std::string> devices = ListSerialDevices();
  for (const std::string& d : devices) m_results << d << '\n';
  if (devices.empty()) m_shell.Note("No serial devices found.");
  for (int port = 0; port < 4; ++port) {
    m_results << "port " << port + 1 << ": " << CTrellisView::DevicePathForPort(port)
              << (port == g_port ? "  (selected)" : "") << '\n';
  }
  return EXIT_OK;
}

int Session::Run() {
  std::string error;
  const std::string& c = m_options.command;
  int status = EXIT_OK;
  if (!CheckCommandArguments(m_options, m_numbers, error))
    status = Fail(EXIT_USAGE, c + ": " + error);
  else if (c == "bootload")
    status = BootLoad();
  else if (c == "flash")
    status = Flash(false);
  else if (c == "quickflash")
    status = Flash(true);
  else if (c == "read")
    status = Read();
  else if (c == "erase")
    status = Erase();
  else if (c == "id")
    status = Id();
  else if (c == "write-ram" || c == "set-eeprom")
    status = MemoryTool(c);
  else if (c == "read-mem")
    status = ReadMem();
  else if (c == "clear-processor") {
    if (Connect(c)) {
      m_view->OnClearProcessor();
      if (!LinkTrouble(c, true) && m_shell.LastStatus() != "68HC11 is erased!") {
        if (FindBox("Failed\n Controller not connected"))
          Fail(EXIT_LINK, c + ": Controller not connected");
        else
          Fail(EXIT_TARGET, c + ": 68HC11 erase failed!");
      }
    }
    status = m_failStatus;
  } else if (c == "checksum")
    status = Checksum();
  else if (c == "verify")
    status = Verify();
  else if (c == "devices")
    status = Devices();
  if (g_connected.load() && !m_shell.timedOut && !m_shell.interrupted) SettleTalker();
  PrintWireTrace();
  PrintCommErrors();
  if (status == EXIT_OK && ConsoleShell::InterruptRequested()) Fail(EXIT_INTERRUPTED, c + ": interrupted");
  return m_failStatus;
}

}  // namespace

int RunKestonCli(int argc, const char* const* argv, std::ostream& results, std::ostream& err,
                 std::istream& in, bool stdinIsTerminal, bool stderrIsTerminal) {
  CliOptions options;
  std::string error;
  if (!ParseCommandLine(argc, argv, options, error)) {
    err << "keston-cli: " << error << '\n';
    return EXIT_USAGE;
  }
  if (options.help) {
    if (options.command.empty()) {
      results << GeneralHelp();
      return EXIT_OK;
    }
    std::string text = CommandHelp(options.command);
    if (text.empty()) {
      err << "keston-cli: unknown command \"" << options.command << "\" (see keston-cli --help)\n";
      return EXIT_USAGE;
    }
    results << text;
    return EXIT_OK;
  }
  int status = EXIT_OK;
  std::string failure;
  {
    Session session(options, results, err, in, stdinIsTerminal, stderrIsTerminal);
    status = session.Run();
    failure = session.Failure();
  }
  // After the session: the port is closed by then, so nothing the link says
  // on its way out lands after the line that names the failure.
  if (status != EXIT_OK) {
    err << ("keston-cli: " + failure + "\n");
    err.flush();
  }
  return status;
}
