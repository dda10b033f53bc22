#include "cli/Commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/ConsoleShell.h"
#include "cli/ExitStatus.h"
#include "cli/OverlayStore.h"
#include "image/LoadOffsetDlg.h"
#include "image/Programmer.h"
#include "link/Link.h"
#include "link/SerialPorts.h"
#include "operations/AddressRangeDlg.h"
#include "operations/Checks.h"
#include "operations/FileChoice.h"
#include "operations/FileCommands.h"
#include "operations/Flash.h"
#include "operations/MemoryTools.h"
#include "operations/OpsText.h"
#include "operations/ReadBack.h"
#include "panes/MainFrame.h"
#include "shell/Paths.h"
#ifdef _WIN32
#include "shell/IniFileStore.h"
#include "shell/RegistryStore.h"
#else
#include "shell/QSettingsStore.h"
#endif
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "target/Stream.h"
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

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.string();
}

// The exit status an outcome stands for.
int StatusFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok:
      return EXIT_OK;
    case Outcome::Cancelled:
      return EXIT_DECLINED;
    case Outcome::NotConnected:
    case Outcome::LinkLost:
      return EXIT_LINK;
    case Outcome::Interrupted:
      return EXIT_INTERRUPTED;
    case Outcome::FileError:
    case Outcome::BadRecords:
    case Outcome::NothingToDo:
      return EXIT_FILE;
    case Outcome::Refused:
      return EXIT_USAGE;
    case Outcome::BootFailed:
    case Outcome::NoTalker:
    case Outcome::CommandRejected:
    case Outcome::EchoMismatch:
    case Outcome::VerifyMismatch:
    case Outcome::ReadMismatch:
    case Outcome::ChipFailed:
      return EXIT_TARGET;
  }
  return EXIT_TARGET;
}

// The shared store, or the INI file named with --settings.
std::unique_ptr<SettingsStore> OpenSettings(const std::string& iniPath) {
#ifdef _WIN32
  if (!iniPath.empty()) return std::make_unique<IniFileStore>(iniPath);
  return std::make_unique<RegistryStore>();
#else
  if (!iniPath.empty()) return std::make_unique<QSettingsStore>(iniPath);
  return std::make_unique<QSettingsStore>();
#endif
}

// Everything one run needs, built in the order the desktop program builds it:
// settings, shell, main frame, the link.
class Session {
 public:
  Session(const CliOptions& options, std::ostream& results, std::ostream& err, std::istream& in,
          bool stdinTty, bool stderrTty)
      : m_options(options),
        m_results(results),
        m_err(err),
        m_store(OpenSettings(options.settingsFile)),
        m_overlay(*m_store),
        m_shell(ShellSettings(options, stdinTty, stderrTty), err, in) {
    ApplyOverrides();
    m_previousStore = g_settings;
    g_settings = &m_overlay;
    m_shell.Install();
    m_frame = std::make_unique<CMainFrame>();
    m_link = std::make_unique<CLink>();
    m_link->ReadSettings();
    m_talker = std::make_unique<CTalker>(*m_link);
    m_shell.onPullLine = [this] { m_link->ClosePort(); };
    if (options.verbose) m_shell.onBeforePrint = [this] { PrintWireTrace(); };
    m_shell.onIdle = [this] {
      PrintWireTrace();
      PrintCommErrors();
    };
    m_link->errorObserver = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(m_errorMutex);
      m_pendingErrors.push_back(line);
    };
    m_link->receiveObserver = [this](const uint8_t* bytes, int count) {
      // Receive thread: a byte from the target is the surest sign of life.
      m_shell.NoteActivity();
      Trace(false, bytes, static_cast<unsigned>(count));
    };
    m_link->transmitObserver = [this](const uint8_t* bytes, unsigned count) { Trace(true, bytes, count); };
  }

  ~Session() {
    // The port closes (and the receive thread ends) before the shell and the
    // store it reports to go away.
    m_talker.reset();
    m_link.reset();
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
    if (m_options.standardProtocol) m_overlay.Override("Comm", "Standard Protocol", 1);
    if (m_options.bootBaud) m_overlay.Override("Comm", "BSB", *m_options.bootBaud);
    if (m_options.fastBaud) m_overlay.Override("Comm", "Fast Baud", *m_options.fastBaud);
    if (!m_options.talker.empty()) {
      std::filesystem::path path = AbsolutePath(m_options.talker);
      std::string folder = path.parent_path().string();
      if (folder.empty() || !IsPathSeparator(folder.back())) folder += PathSeparator();
      m_overlay.Override("file", "BOOT PATH", folder);
      m_overlay.Override("file", "BOOT NAME", path.filename().string());
    }
  }

  // A read ends with the host's acknowledgement of the last byte, and nothing
  // tells when the talker has taken it; the purge of the closing port can
  // still discard it, which leaves the talker waiting for it and makes the
  // next run's first command byte that acknowledgement.  An identification
  // ends with a byte the talker sends only after it took our last one, so
  // after it the talker is idle and the next run starts in step.
  void SettleTalker() {
    // After a failure the talker may be out of step already; do not let that
    // hold up the report for the whole time-out.
    m_shell.SetTimeout(m_options.timeoutSeconds > 0 ? std::min(m_options.timeoutSeconds, 3) : 3);
    m_shell.NoteActivity();
    // The next run opens the port at the normal rate: the talker goes back there.
    ReturnToNormalRate(*m_talker);
    GetFlashId(*m_talker);
    m_link->Queue().Clear();
  }

  // ---- what the run saw ----
  void Trace(bool fromHost, const uint8_t* bytes, unsigned count) {
    if (!m_options.verbose) return;
    std::lock_guard<std::mutex> lock(m_traceMutex);
    if (m_trace.empty() || m_trace.back().first != fromHost) m_trace.push_back({fromHost, {}});
    m_trace.back().second.insert(m_trace.back().second.end(), bytes, bytes + count);
  }

  // Both directions in the order they met the port, sixteen bytes a line.
  // Printing a line asks for the trace owed before it; that request, made
  // from in here, must not print newer bytes ahead of the rest of these.
  void PrintWireTrace() {
    if (m_printingTrace) return;
    m_printingTrace = true;
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
    m_printingTrace = false;
  }

  // Link errors arrive on the receive thread; they are printed from here.
  void PrintCommErrors() {
    std::vector<std::string> lines;
    {
      std::lock_guard<std::mutex> lock(m_errorMutex);
      lines.swap(m_pendingErrors);
    }
    for (const std::string& line : lines) {
      m_commErrors.push_back(line);
      if (!m_options.quiet) m_shell.Note(line);
    }
  }

  // ---- outcome ----
  int Fail(int status, const std::string& what) {
    if (m_failStatus == EXIT_OK) {
      m_failStatus = status;
      m_failure = what;
    }
    return status;
  }

  std::string DeviceName() const {
    return m_link->DevicePath() + " (port " + std::to_string(m_link->m_settings.port + 1) + ")";
  }

  std::string LastCommError() const {
    return m_commErrors.empty() ? std::string() : ": " + OneLine(m_commErrors.back());
  }

  // What the user did to the run (Ctrl-C, the time-out) outranks what the
  // operation then made of the closed link.
  bool RunWasEnded(const std::string& command) {
    PrintCommErrors();
    if (m_shell.cutOff) {
      Fail(EXIT_INTERRUPTED, command + ": interrupted again: the transfer was cut off in the middle of a command; "
                                       "run keston-cli bootload before the next command");
      return true;
    }
    if (m_shell.timedOut) {
      Fail(EXIT_LINK, command + ": the controller did not answer for " + std::to_string(m_options.timeoutSeconds) +
                          " s; the link was closed (is the talker running? see --bootload)");
      return true;
    }
    return false;
  }

  // The exit status and failure line of an operation's result.  `closing` is
  // the operation's own last words (its final status text) for failures
  // where the program says best what went wrong.
  int Judge(const std::string& command, const OpResult& r, const std::string& closing = std::string()) {
    if (RunWasEnded(command)) return m_failStatus;
    if (r.Ok()) return EXIT_OK;
    if (r.outcome == Outcome::Interrupted || (m_shell.interrupted && r.outcome == Outcome::Cancelled))
      return Fail(EXIT_INTERRUPTED, command + ": interrupted" +
                                        (r.outcome == Outcome::Interrupted && r.address ? " at " + Hex(r.address) : "") +
                                        "; the command in hand was finished, so the talker waits for the next" +
                                        (r.detail.empty() ? "" : " (" + r.detail + ")"));
    if (r.outcome == Outcome::CommandRejected && m_talker->FaultOnFirstCommand())
      return Fail(EXIT_TARGET, command + ": the talker is not answering in step; run Boot Load again (keston-cli "
                                         "--bootload " + command + ", or keston-cli bootload)");
    const int status = StatusFor(r.outcome);
    std::string where = r.address || r.outcome == Outcome::EchoMismatch ? " at " + Hex(r.address) : "";
    switch (r.outcome) {
      case Outcome::NotConnected:
        return Fail(status, command + ": cannot open " + DeviceName() + LastCommError());
      case Outcome::LinkLost:
        return Fail(status, command + ": the line to the controller was lost" +
                                (m_commErrors.empty() ? std::string() : " (" + OneLine(m_commErrors.back()) + ")"));
      case Outcome::Cancelled:
        return Fail(status, command + ": not confirmed: " + OneLine(r.detail));
      case Outcome::FileError:
      case Outcome::BadRecords:
      case Outcome::NothingToDo:
      case Outcome::Refused:
        return Fail(status, command + ": " + (closing.empty() ? "" : OneLine(closing) + " (") + OneLine(r.detail) +
                                (closing.empty() ? "" : ")"));
      default:
        break;
    }
    std::string text = command + ": " + (closing.empty() ? std::string(OutcomeName(r.outcome)) : OneLine(closing));
    text += " (" + std::string(OutcomeName(r.outcome)) + where + (r.detail.empty() ? "" : "; " + r.detail) + ")";
    return Fail(status, text);
  }

  // ---- steps shared by several commands ----
  // Checked without opening: a pipe given as a file (a FIFO, <(...)) can be
  // opened only once, and the opening waits for its writer.
  bool CheckReadable(const std::string& what, const std::string& path) {
    std::error_code ec;
    // A folder opens for reading and then reads as an empty file.
    if (std::filesystem::is_directory(path, ec)) {
      Fail(EXIT_FILE, "cannot read " + what + " " + path + ": it is a folder");
      return false;
    }
    if (!std::filesystem::exists(path, ec)) {
      Fail(EXIT_FILE, "cannot open " + what + " " + path + ": " + std::strerror(ENOENT));
      return false;
    }
    return true;
  }

  // Reads a program file as the Load Offset dialog would have it: offset,
  // then pre-fill (default ff) unless switched off.
  bool LoadProgram(const std::string& path, CProgrammer& image) {
    if (!CheckReadable("the file", path)) return false;
    std::ifstream in(path);
    if (ConsoleShell::InterruptRequested()) {
      m_shell.interrupted = true;
      Fail(EXIT_INTERRUPTED, "interrupted while opening " + path);
      return false;
    }
    if (!in) {
      Fail(EXIT_FILE, "cannot open the file " + path + ": " + std::strerror(errno));
      return false;
    }
    image.ClearWritten();
    image.ResetBounds();
    if (!m_options.noPrefill) image.FillImage(static_cast<int>(m_options.fill.value_or(0xFF)));
    image.m_loadOffset = static_cast<uint16_t>(m_options.offset.value_or(0));
    image.m_badRecords = 0;
    image.ReadSRecordStream(in);
    if (ConsoleShell::InterruptRequested()) {
      m_shell.interrupted = true;
      Fail(EXIT_INTERRUPTED, "interrupted while reading " + path);
      return false;
    }
    return true;
  }

  bool Connect(const std::string& command);

  int BootLoad();
  int Flash(bool quick);
  int Read();
  int Erase();
  int Id();
  int MemoryTool(const std::string& command);
  int ReadMem();
  int ClearProcessor();
  int Checksum();
  int Verify();
  int Devices();

  const CliOptions& m_options;
  std::ostream& m_results;
  std::ostream& m_err;
  std::unique_ptr<SettingsStore> m_store;
  OverlayStore m_overlay;
  ConsoleShell m_shell;
  SettingsStore* m_previousStore = nullptr;
  std::unique_ptr<CMainFrame> m_frame;
  std::unique_ptr<CLink> m_link;
  std::unique_ptr<CTalker> m_talker;
  std::vector<unsigned> m_numbers;

  std::mutex m_traceMutex;
  std::vector<std::pair<bool, std::vector<uint8_t>>> m_trace;  // (from host, bytes) runs
  bool m_printingTrace = false;
  std::mutex m_errorMutex;
  std::vector<std::string> m_pendingErrors;
  std::vector<std::string> m_commErrors;

  int m_failStatus = EXIT_OK;
  std::string m_failure;
};

int Session::BootLoad() {
  if (!m_options.talker.empty() && !CheckReadable("the loader file", m_options.talker)) return m_failStatus;
  OpResult r;
  const int started = ::BootLoad(*m_talker, m_options.noResetPrompt, &r);
  const std::string loader = m_options.talker.empty() ? std::string("the remembered loader file") : m_options.talker;
  // Silence right after an echoed download is the loader's doing, not the line's.
  if (started && m_shell.timedOut && !m_shell.interrupted)
    return Fail(EXIT_TARGET, "bootload: the loader was sent and echoed, but no talker answers (is " + loader +
                                 " a talker for this controller?)");
  if (RunWasEnded("bootload")) return m_failStatus;
  switch (r.outcome) {
    case Outcome::Ok:
      return EXIT_OK;
    case Outcome::FileError:
    case Outcome::BadRecords:
      return Fail(EXIT_FILE, "bootload: " + r.detail + " (" + loader + ")" +
                                 (m_options.talker.empty() ? "; name one with --talker FILE" : ""));
    case Outcome::NotConnected:
      if (started)
        return Fail(EXIT_LINK, "bootload: the loader was sent, but reopening " + DeviceName() + " at " +
                                   std::to_string(m_link->m_settings.normalBaud) + " bit/s failed" + LastCommError());
      return Fail(EXIT_LINK, "bootload: cannot open " + DeviceName() + " at " +
                                 std::to_string(m_link->m_settings.bootstrapBaud) + " bit/s" + LastCommError());
    case Outcome::BootFailed:
      return Fail(EXIT_TARGET, "bootload: the controller did not echo the loader (Boot Compare Failed!; " + r.detail +
                                   "); is it reset into bootstrap mode?");
    case Outcome::NoTalker:
      return Fail(EXIT_TARGET, "bootload: the loader was sent and echoed, but no talker answers (is " + loader +
                                   " a talker for this controller?)");
    default:
      return Judge("bootload", r);
  }
}

bool Session::Connect(const std::string& command) {
  if (m_options.bootload) {
    const bool booted = BootLoad() == EXIT_OK;
    if (booted && m_options.verbose) std::fprintf(stderr, "keston-cli: %s\n", ProtocolModeText(*m_talker).c_str());
    return booted;
  }
  // The talker was left running by an earlier run; this is the program's own
  // Force Prog Connection.
  if (!m_link->Connected()) m_link->OpenPort();
  m_link->SetBootMode(true);
  m_talker->ForgetExtension();
  // The talker is asked which protocol it speaks with the first transfer that needs it.
  if (m_options.verbose) std::fprintf(stderr, "keston-cli: %s\n", ProtocolModeText(*m_talker).c_str());
  PrintCommErrors();
  if (!m_link->Connected()) {
    Fail(EXIT_LINK, command + ": cannot open " + DeviceName() + LastCommError());
    return false;
  }
  return true;
}

int Session::Flash(bool quick) {
  const std::string command = quick ? "quickflash" : "flash";
  FlashJob job;
  OpResult r;
  if (quick) {
    if (!GatherFlashJob(false, true, job, &r)) {
      if (r.outcome == Outcome::FileError)
        return Fail(EXIT_FILE, "quickflash: the remembered program file " +
                                   (job.fileName.empty() ? std::string("(none)") : job.fileName) +
                                   " cannot be opened; flash a file with keston-cli flash FILE first");
      return Judge(command, r);
    }
  } else {
    const std::string file = AbsolutePath(m_options.args[0]);
    if (!LoadProgram(file, job.image)) return m_failStatus;
    RememberLoadFile(file);
    job.fileName = file;
    if (job.image.m_badRecords != 0) {
      // The bytes of a damaged record are in the image already; writing them
      // into an engine controller must be the user's decision, never silent.
      const std::string text = BadRecordsText(job.image.m_badRecords);
      if (AfxMessageBox(text + ".\nWrite this file to the controller anyway?", MB_OKCANCEL) != IDOK)
        return Fail(EXIT_DECLINED, command + ": " + OneLine(text + ".\nWrite this file to the controller anyway?"));
    }
    // The options are laid over the remembered dialog settings, which then
    // remember them as the dialog would (CONFIG and the EEPROM window are
    // stored for the next QuickFlash).
    CAddressRangeDlg dlg;
    dlg.SetStart(m_options.range ? m_options.range->first : job.image.m_lowest);
    dlg.SetFinish(m_options.range ? m_options.range->last : job.image.m_highest);
    dlg.m_bExcludeActive = m_options.exclude ? 1 : 0;
    if (m_options.exclude) {
      dlg.SetExcludeStart(m_options.exclude->first);
      dlg.SetExcludeEnd(m_options.exclude->last);
    }
    dlg.m_bConfigEnabled = m_options.config ? 1 : 0;
    if (m_options.config) dlg.SetConfigValue(*m_options.config);
    dlg.m_bEnableEeprom = m_options.eepromStart ? 1 : 0;
    if (m_options.eepromStart) {
      dlg.SetEepromStart(*m_options.eepromStart);
      dlg.SetEepromLength(m_options.eepromLength.value_or(0x200));
    }
    dlg.m_bWriteAllRange = m_options.writeAll ? 1 : 0;
    dlg.m_bVerify = m_options.noVerify ? 0 : 1;
    // What the dialog would refuse is refused here too, before the line is opened.
    const std::string problem = FlashOptionsProblem(FlashOptionsFromDialog(dlg));
    if (!problem.empty()) return Fail(EXIT_USAGE, command + ": " + OneLine(problem));
    job.options = FlashOptionsFromDialog(dlg);
    job.options.blocks = m_options.blockChip;
    job.options.noPrompt = m_options.noResetPrompt;
  }
  if (m_options.noVerify) job.options.verify = false;

  if (!Connect(command)) return m_failStatus;
  ExecuteFlash(*m_talker, job, &r);
  if (r.outcome == Outcome::NothingToDo)
    return Fail(EXIT_FILE, command + ": Nothing written to flash: Starting is above Finish (the file holds no data "
                                     "in the range)");
  return Judge(command, r, m_frame->GetStatusText());
}

int Session::Read() {
  const std::string file = AbsolutePath(m_options.args[1]);
  ReadBackJob job;
  ReadBackOptions& o = job.options;
  o.start = m_numbers[0];
  o.finish = m_numbers[1];
  o.excludeActive = m_options.exclude.has_value();
  if (m_options.exclude) {
    o.excludeStart = m_options.exclude->first;
    o.excludeEnd = m_options.exclude->last;
  }
  o.enableEeprom = m_options.eepromStart.has_value();
  if (m_options.eepromStart) o.eepromStart = *m_options.eepromStart;
  o.readTwice = !m_options.singleRead;
  o.noPrompt = m_options.noResetPrompt;
  // What is not read keeps the fill value, as with the Load Offset dialog's
  // pre-fill.
  job.image.FillImage(0xFF);
  if (!IsRegularOrNew(file)) return Fail(EXIT_FILE, "read: " + NotARegularFileText(file));
  std::error_code ec;
  // Decided before anything is read: a long read must not end in a question.
  if (std::filesystem::exists(file, ec) && AfxMessageBox("File Exists, Overwrite?", MB_OKCANCEL) != IDOK)
    return Fail(EXIT_DECLINED, "read: not confirmed: File Exists, Overwrite? (" + file + ")");

  if (!Connect("read")) return m_failStatus;
  OpResult r;
  ExecuteReadBack(*m_talker, job, &r);
  if (!job.started) return Judge("read", r);
  SaveReadBack(job, file, r);
  return Judge("read", r, m_frame->GetStatusText());
}

int Session::Erase() {
  if (!Connect("erase")) return m_failStatus;
  OpResult r;
  EraseFlash(*m_talker, &r);
  if (r.outcome == Outcome::ChipFailed) return RunWasEnded("erase") ? m_failStatus : Fail(EXIT_TARGET, "erase: AMD Erase Failed!");
  return Judge("erase", r);
}

int Session::Id() {
  if (!Connect("id")) return m_failStatus;
  m_talker->ClearFault();
  unsigned id = GetFlashId(*m_talker);
  if (RunWasEnded("id")) return m_failStatus;
  if (id == 0) {
    if (!m_link->Connected()) return Judge("id", OpResult::With(Outcome::LinkLost));
    return Fail(EXIT_TARGET, "id: the talker did not acknowledge the identify command");
  }
  unsigned manufacturer = id >> 8, device = id & 0xFF;
  std::string name = id == kFlashEepromChipId ? "Flash EEPROM (programmed in 64-byte blocks, cannot be erased)"
                     : id == 0x0120           ? "AMD29F010"
                                              : "unknown chip, treated as AMD29F010";
  char line[160];
  std::snprintf(line, sizeof line, "manufacturer 0x%02x, device 0x%02x: %s\n", manufacturer, device, name.c_str());
  m_results << line;
  return EXIT_OK;
}

int Session::MemoryTool(const std::string& command) {
  MemoryToolRun run;
  run.address = m_numbers[0];
  run.value = m_numbers[1];
  run.length = static_cast<uint16_t>(m_numbers.size() > 2 ? m_numbers[2] : 1);
  if (!Connect(command)) return m_failStatus;
  OpResult r;
  if (command == "write-ram")
    ExecuteWriteTargetRam(*m_talker, run, &r);
  else
    ExecuteSetConfigEeprom(*m_talker, run, &r);
  return Judge(command, r, m_frame->GetStatusText());
}

int Session::ReadMem() {
  MemoryToolRun run;
  run.address = m_numbers[0];
  const unsigned length = m_numbers.size() > 1 ? m_numbers[1] : 1;
  run.length = static_cast<uint16_t>(length);
  run.readTwice = !m_options.singleRead;
  if (!Connect("read-mem")) return m_failStatus;
  std::vector<uint8_t> bytes;
  OpResult r;
  ExecuteReadMemory(*m_talker, run, bytes, &r);
  // Print what was read even when the run stopped early.
  for (size_t i = 0; i < bytes.size(); i += 16)
    m_results << HexDumpLine(run.address + static_cast<unsigned>(i), bytes.data() + i,
                             std::min<size_t>(16, bytes.size() - i))
              << '\n';
  if (!r.Ok() && !RunWasEnded("read-mem") && r.outcome != Outcome::LinkLost && r.outcome != Outcome::Interrupted &&
      !(r.outcome == Outcome::CommandRejected && m_talker->FaultOnFirstCommand()))
    return Fail(StatusFor(r.outcome), "read-mem: Read failed! after " + std::to_string(bytes.size()) + " of " +
                                          std::to_string(length) + " bytes" +
                                          (r.detail.empty() ? "" : " (" + r.detail + ")"));
  return Judge("read-mem", r);
}

int Session::ClearProcessor() {
  if (!Connect("clear-processor")) return m_failStatus;
  if (AfxMessageBox("Erase EEPROM and CONFIG?", MB_OKCANCEL) != IDOK)
    return Judge("clear-processor", OpResult::With(Outcome::Cancelled, "Erase EEPROM and CONFIG?"));
  m_talker->ClearFault();
  if (BulkEraseEeprom(*m_talker)) return EXIT_OK;
  OpResult r = m_talker->FaultResult();
  if (!m_link->Connected()) r.outcome = Outcome::LinkLost;
  if (r.outcome == Outcome::Ok) r.outcome = Outcome::EchoMismatch;
  return Judge("clear-processor", r, "68HC11 erase failed!");
}

int Session::Checksum() {
  const std::string file = AbsolutePath(m_options.args[0]);
  CProgrammer image;
  if (!LoadProgram(file, image)) return m_failStatus;
  RememberChecksumFile(file);
  // The range given, or the one the file covers, as Checksum Memory offers it.
  const unsigned start = (m_numbers.size() == 2 ? m_numbers[0] : image.m_lowest) & 0xFFFF;
  const unsigned finish = (m_numbers.size() == 2 ? m_numbers[1] : image.m_highest) & 0xFFFF;
  m_results << ChecksumText(WordChecksum(image, start, finish), image.m_badRecords) << '\n';
  if (image.m_badRecords != 0)
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
  m_talker->ClearFault();
  // With the EEPROM mapped into a page, its cells would be read instead of
  // the flash there.
  if (!EepromOff(*m_talker)) {
    if (RunWasEnded("verify")) return m_failStatus;
    if (!m_link->Connected()) return Judge("verify", OpResult::With(Outcome::LinkLost));
    return Fail(EXIT_TARGET, "verify: the controller did not accept switching the EEPROM off");
  }
  CProgrammer actual;
  OpResult r;
  if (!ReadTrusted(*m_talker, first, last, actual, !m_options.singleRead, r)) {
    if (RunWasEnded("verify")) return m_failStatus;
    if (r.outcome == Outcome::CommandRejected && !m_talker->FaultOnFirstCommand())
      return Fail(EXIT_TARGET, "verify: reading " + Hex(first) + "-" + Hex(last) + " failed");
    return Judge("verify", r);
  }

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
    std::snprintf(line, sizeof line, "verify: %u bytes of %s in %04x-%04x match\n", compared, file.c_str(), first,
                  last);
    m_results << line;
    return EXIT_OK;
  }
  std::snprintf(line, sizeof line,
                "verify: %u of %u bytes differ; first difference at %04x (file %02x, controller %02x)\n", differing,
                compared, firstDiff, expected.GetImageByte(firstDiff), actual.GetImageByte(firstDiff));
  m_results << line;
  return Fail(EXIT_DIFFERS, "verify: the controller's memory differs from " + file);
}

int Session::Devices() {
  std::vector<std::string> devices = ListSerialDevices();
  for (const std::string& d : devices) m_results << d << '\n';
  if (devices.empty()) m_shell.Note("No serial devices found.");
  for (int port = 0; port < 4; ++port) {
    m_results << "port " << port + 1 << ": " << CLink::DevicePathForPort(port)
              << (port == m_link->m_settings.port ? "  (selected)" : "") << '\n';
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
  else if (c == "clear-processor")
    status = ClearProcessor();
  else if (c == "checksum")
    status = Checksum();
  else if (c == "verify")
    status = Verify();
  else if (c == "devices")
    status = Devices();
  if (m_link->Connected() && !m_shell.timedOut && !m_shell.cutOff) SettleTalker();
  PrintWireTrace();
  PrintCommErrors();
  // An interrupt that came after the last command boundary found nothing to
  // stop: the command completed, and says so.
  (void)status;
  return m_failStatus;
}

}  // namespace

int RunKestonCli(int argc, const char* const* argv, std::ostream& results, std::ostream& err, std::istream& in,
                 bool stdinIsTerminal, bool stderrIsTerminal) {
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
  // A settings "file" that is a device or a pipe would be replaced by one.
  if (!options.settingsFile.empty() && !IsRegularOrNew(options.settingsFile)) {
    err << "keston-cli: --settings: " << NotARegularFileText(options.settingsFile) << '\n';
    return EXIT_USAGE;
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
