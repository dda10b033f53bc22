// The console front end's own pieces, without a controller: the command
// line, the progress display, the console shell's answers and time-out, and
// the settings overlay.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliOptions.h"
#include "cli/ConsoleShell.h"
#include "cli/OverlayStore.h"
#include "cli/ProgressMeter.h"
#include "image/LoadOffsetDlg.h"
#include "target/ProgressDlg.h"
#include "support/MemoryStore.h"

namespace {

bool Parse(std::vector<const char*> args, CliOptions& out, std::string& error) {
  args.insert(args.begin(), "keston-cli");
  return ParseCommandLine(static_cast<int>(args.size()), args.data(), out, error);
}

TEST(CliOptions, NumbersAreHexadecimalWithOrWithoutPrefixAndBounded) {
  unsigned v = 0;
  EXPECT_TRUE(ParseHexArgument("0x103F", 0xFFFF, v));
  EXPECT_EQ(v, 0x103Fu);
  EXPECT_TRUE(ParseHexArgument("b600", 0xFFFF, v));
  EXPECT_EQ(v, 0xB600u);
  // The dialogs would read these as something else entirely; here they are refused.
  EXPECT_FALSE(ParseHexArgument("10000", 0xFFFF, v));
  EXPECT_FALSE(ParseHexArgument("12g4", 0xFFFF, v));
  EXPECT_FALSE(ParseHexArgument("0x", 0xFFFF, v));
  EXPECT_FALSE(ParseHexArgument("", 0xFF, v));
  EXPECT_FALSE(ParseHexArgument("-1", 0xFF, v));

  HexRange r;
  EXPECT_TRUE(ParseHexRange("8000-ffff", r));
  EXPECT_EQ(r.first, 0x8000u);
  EXPECT_EQ(r.last, 0xFFFFu);
  EXPECT_TRUE(ParseHexRange("0x10-0x10", r));
  EXPECT_FALSE(ParseHexRange("ffff-8000", r));
  EXPECT_FALSE(ParseHexRange("8000", r));
  EXPECT_FALSE(ParseHexRange("1-2-3", r));
}

TEST(CliOptions, OptionsAnywhereAndOnlyWhereTheyApply) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"flash", "prog.s19", "--range=8000-bfff", "--exclude", "b600-b7ff", "--device",
                     "/dev/ttyUSB0", "-y", "--eeprom", "4e00:1ff", "--fill", "0"},
                    o, error))
      << error;
  EXPECT_EQ(o.command, "flash");
  EXPECT_EQ(o.args, std::vector<std::string>{"prog.s19"});
  EXPECT_EQ(o.range->last, 0xBFFFu);
  EXPECT_EQ(o.exclude->first, 0xB600u);
  EXPECT_EQ(o.device, "/dev/ttyUSB0");
  EXPECT_TRUE(o.yes);
  EXPECT_EQ(*o.eepromStart, 0x4E00u);
  EXPECT_EQ(*o.eepromLength, 0x1FFu);
  EXPECT_EQ(*o.fill, 0u);

  const std::vector<std::vector<const char*>> refused = {
      {"erase", "--range", "8000-9000"},             // not an option of erase
      {"flash", "p.s19", "--eeprom", "4e00"},        // flash needs a length
      {"read", "0-ff", "f", "--eeprom", "4e00:10"},  // read takes a start only
      {"flash", "p.s19", "--no-prefill", "--fill", "ff"},
      {"--port", "5", "id"},
      {"--port", "1", "--device", "/dev/x", "id"},
      {"--baud", "0", "id"},
      {"--baud", "fast", "id"},
      {"id", "extra"},
      {"flash"},
      {"--frob", "id"},
      {"id", "--timeout"},
      {},
  };
  for (const auto& args : refused) {
    CliOptions r;
    std::string why;
    EXPECT_FALSE(Parse(args, r, why)) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(why.empty());
  }

  CliOptions h;
  ASSERT_TRUE(Parse({"help", "read"}, h, error));
  EXPECT_TRUE(h.help);
  EXPECT_EQ(h.command, "read");
  // Everything after "--" is an argument, even what looks like an option.
  CliOptions d;
  ASSERT_TRUE(Parse({"checksum", "--", "--odd-name.s19"}, d, error)) << error;
  EXPECT_EQ(d.args, std::vector<std::string>{"--odd-name.s19"});
}

TEST(CliOptions, CommandArgumentsAreCheckedPerCommand) {
  CliOptions o;
  std::string error;
  std::vector<unsigned> n;
  ASSERT_TRUE(Parse({"write-ram", "2000", "55", "4"}, o, error));
  ASSERT_TRUE(CheckCommandArguments(o, n, error)) << error;
  EXPECT_EQ(n, (std::vector<unsigned>{0x2000, 0x55, 4}));

  for (const auto& args : std::vector<std::vector<const char*>>{{"write-ram", "2000", "100"},
                                                                {"set-eeprom", "103f", "7b", "0"},
                                                                {"read-mem", "8000", "10000"},
                                                                {"read", "8000-7fff", "out.s19"},
                                                                {"checksum", "f.s19", "junk"}}) {
    CliOptions c;
    std::vector<unsigned> numbers;
    ASSERT_TRUE(Parse(args, c, error)) << error;
    EXPECT_FALSE(CheckCommandArguments(c, numbers, error)) << args[0];
  }
}

TEST(ProgressMeter, OffTerminalOneLinePerTenthAndNoFalseEnd) {
  std::ostringstream out;
  double now = 0;
  ProgressMeter meter(out, false, [&] { return now; });
  meter.Begin("Reading Memory", 0x8000, 0x8000 + 999);
  for (long p = 0; p <= 450; p += 10) {
    now += 0.1;
    meter.Update(0x8000 + p, "0x8000");
  }
  meter.End();
  std::string text = out.str();
  int lines = 0;
  for (char c : text) lines += c == '\n';
  // 0% to 40%, and no 50% or 100% for a transfer that stopped at 45%.
  EXPECT_EQ(lines, 5) << text;
  EXPECT_EQ(text.find("50%"), std::string::npos) << text;
  EXPECT_EQ(text.find("100%"), std::string::npos) << text;
  // 450 bytes in 4.6 s, 549 to go.
  EXPECT_NEAR(meter.BytesPerSecond(), 450 / 4.6, 0.5);
  EXPECT_NEAR(meter.SecondsLeft(), 549 / (450 / 4.6), 0.1);
}

TEST(ProgressMeter, TerminalRedrawsInPlaceAndEndsTheLine) {
  std::ostringstream out;
  double now = 0;
  ProgressMeter meter(out, true, [&] { return now; });
  meter.Begin("Writing Flash", 0, 99);
  meter.Update(10, "0x000a");
  meter.Update(20, "0x0014");  // too soon after the last redraw
  now = 1;
  meter.Update(99, "0x0063");
  meter.End();
  std::string text = out.str();
  int redraws = 0;
  for (char c : text) redraws += c == '\r';
  EXPECT_EQ(redraws, 3) << text;
  EXPECT_EQ(text.back(), '\n');
  EXPECT_NE(text.find("100%"), std::string::npos);
  EXPECT_NE(text.find("[########################]"), std::string::npos) << text;
  EXPECT_EQ(text.find("0x0014"), std::string::npos);
}

struct ShellRig {
  explicit ShellRig(ConsoleShell::Settings s, std::string input = "")
      : in(input), shell(s, err, in, [this] { return now; }) {}
  std::ostringstream err;
  std::istringstream in;
  double now = 0;
  ConsoleShell shell;
};

TEST(ConsoleShell, NoDialogOrFileChooserIsEverAnswered) {
  // keston-cli hands every operation its options; a dialog or a file chooser
  // that still opens is refused and said, never answered with a guess.
  ShellRig rig({});
  CLoadOffsetDlg dlg;
  dlg.SetOffset(0x100);
  EXPECT_EQ(rig.shell.RunModal(dlg), IDCANCEL);
  EXPECT_EQ(dlg.GetOffset(), 0x100);
  EXPECT_NE(rig.err.str().find("Load Offset: not available on the command line"), std::string::npos)
      << rig.err.str();
  FileDialogRequest request;
  request.title = "Select Boot loader file";
  FileDialogResult result;
  EXPECT_FALSE(rig.shell.ChooseFile(request, result));
  EXPECT_EQ(rig.shell.unansweredFiles, std::vector<std::string>{"Select Boot loader file"});
}

TEST(ConsoleShell, QuestionsAreAnsweredByYesAskedOnATerminalOrDeclined) {
  ConsoleShell::Settings yes;
  yes.yes = true;
  ShellRig byOption(yes);
  EXPECT_EQ(byOption.shell.MessageBox("Erase Program?", "", MB_OKCANCEL), IDOK);
  EXPECT_EQ(byOption.shell.MessageBox("BPROT clear failed", "", MB_YESNO), IDYES);
  EXPECT_TRUE(byOption.shell.declined.empty());

  ShellRig noTerminal({});
  EXPECT_EQ(noTerminal.shell.MessageBox("File Exists, Overwrite?", "", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(noTerminal.shell.declined, std::vector<std::string>{"File Exists, Overwrite?"});
  EXPECT_EQ(noTerminal.shell.MessageBox("AMD Erase Failed!", "", MB_OK), IDOK);
  EXPECT_NE(noTerminal.err.str().find("AMD Erase Failed!\n"), std::string::npos);

  ConsoleShell::Settings tty;
  tty.interactive = true;
  ShellRig answered(tty, "y\nno\n");
  EXPECT_EQ(answered.shell.MessageBox("Erase Program?", "", MB_OKCANCEL), IDOK);
  EXPECT_EQ(answered.shell.MessageBox("Erase Program?", "", MB_OKCANCEL), IDCANCEL);
  // End of input is no consent.
  EXPECT_EQ(answered.shell.MessageBox("Erase Program?", "", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(answered.shell.declined.size(), 2u);
}

TEST(ConsoleShell, SilenceLongerThanTheTimeOutEndsTheLinkOnce) {
  ConsoleShell::Settings s;
  s.timeoutSeconds = 5;
  ShellRig rig(s);
  int pulls = 0;
  rig.shell.onPullLine = [&] { ++pulls; };
  rig.now = 4;
  EXPECT_FALSE(rig.shell.DispatchPendingEvent());
  rig.shell.StatusTextChanged("Erasing AMD29F010");  // news counts as life
  rig.now = 8;
  EXPECT_FALSE(rig.shell.DispatchPendingEvent());
  rig.now = 9.5;
  EXPECT_TRUE(rig.shell.DispatchPendingEvent());
  EXPECT_TRUE(rig.shell.timedOut);
  rig.now = 30;
  rig.shell.DispatchPendingEvent();
  EXPECT_EQ(pulls, 1);

  ConsoleShell::Settings never;
  never.timeoutSeconds = 0;
  ShellRig patient(never);
  patient.now = 1e6;
  EXPECT_FALSE(patient.shell.DispatchPendingEvent());
}

TEST(ConsoleShell, ProgressWindowsDriveTheBarAndAddressStatusesStayQuiet) {
  EXPECT_TRUE(ConsoleShell::IsAddressStatus("7fff "));
  EXPECT_TRUE(ConsoleShell::IsAddressStatus("10000"));
  EXPECT_TRUE(ConsoleShell::IsAddressStatus("103f 5"));
  EXPECT_FALSE(ConsoleShell::IsAddressStatus("M 1 CH 20"));
  EXPECT_FALSE(ConsoleShell::IsAddressStatus("Checksum 0x 68ac"));
  EXPECT_FALSE(ConsoleShell::IsAddressStatus("AMD chip is erased! "));
  EXPECT_FALSE(ConsoleShell::IsAddressStatus(""));

  ShellRig rig({});
  rig.shell.Install();
  {
    CProgressDlg progress;
    progress.Begin("Writing Flash", 0x8000, 0xFF, 0, Transfer::WriteFlash);
    for (unsigned a = 0x800F; a <= 0x80FF; a += 0x10) {
      char text[16];
      std::snprintf(text, sizeof text, "%x ", a);
      rig.shell.StatusTextChanged(text);
      progress.SetPos(a);
    }
  }
  rig.shell.StatusTextChanged("Memory written correctly");
  std::string err = rig.err.str();
  EXPECT_EQ(err.find("800f \n"), std::string::npos) << err;
  // One progress line per tenth reached, the last naming the last address.
  size_t lines = 0;
  for (size_t at = err.find("Writing Flash"); at != std::string::npos; at = err.find("Writing Flash", at + 1))
    ++lines;
  EXPECT_EQ(lines, 11u) << err;
  EXPECT_NE(err.find("Writing Flash 100%  0x80ff"), std::string::npos) << err;
  EXPECT_NE(err.find("Memory written correctly\n"), std::string::npos) << err;

  ConsoleShell::Settings quiet;
  quiet.quiet = true;
  ShellRig hushed(quiet);
  hushed.shell.Install();
  {
    CProgressDlg progress;
    progress.Begin("Writing Flash", 0x8000, 0xFF, 0, Transfer::WriteFlash);
    progress.SetPos(0x80FF);
  }
  hushed.shell.StatusTextChanged("Memory written correctly");
  EXPECT_EQ(hushed.err.str(), "");
}

TEST(OverlayStore, OptionsOverrideForThisRunOnly) {
  MemoryStore shared;
  shared.WriteProfileInt("Comm", "Normal Baud", 19200);
  shared.WriteProfileString("file", "BOOT NAME", "old.s19");
  OverlayStore overlay(shared);
  overlay.Override("Comm", "Normal Baud", 9600);
  EXPECT_EQ(overlay.GetProfileInt("Comm", "Normal Baud", 0), 9600);
  EXPECT_EQ(overlay.GetProfileString("file", "BOOT NAME", ""), "old.s19");
  // What the program writes reaches the shared store; the override does not.
  overlay.WriteProfileString("file", "Default Name", "ecu.s19");
  EXPECT_EQ(shared.GetProfileString("file", "Default Name", ""), "ecu.s19");
  EXPECT_EQ(shared.GetProfileInt("Comm", "Normal Baud", 0), 19200);
}

}  // namespace
