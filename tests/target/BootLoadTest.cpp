// The bootstrap download, the loader file choice and the view's target commands.
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "TargetRig.h"
#include "image/Programmer.h"
#include "link/ByteFifo.h"
#include "link/Link.h"
#include "shell/Shell.h"
#include "target/BootLoad.h"
#include "target/ProgressDlg.h"

using Bytes = std::vector<uint8_t>;

namespace {

// A loader the controller runs.  The model runs any download holding its
// marker, which sits well inside so that a download that lost its first
// bytes still starts the talker.  The CPU runs what it was sent: there the
// loader is the built talker, padded to `length` when that is longer.
Bytes Loader(size_t length) {
  if (RigOnCpu()) {
    Bytes talker = RigTalkerImage();
    if (talker.size() < length) talker.resize(length, 0x01);
    return talker;
  }
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 5);
  const std::string marker = "KESTON-VC-TALKER";
  std::copy(marker.begin(), marker.end(), bytes.begin() + 40);
  return bytes;
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

}  // namespace

class BootLoadTest : public TargetRig {
 protected:
  void UseLoader(const std::string& text) {
    WriteFile("loader.s19", text);
    store.WriteProfileString("file", "BOOT PATH", TempDir() + "/");
    store.WriteProfileString("file", "BOOT NAME", "loader.s19");
    ForgetBootFileChoice();
  }
};

TEST_F(BootLoadTest, LoaderLengthFollowsTheWrittenRunFromAddressZero) {
  StartSim();
  store.WriteProfileInt("Comm", "Bootstrap Start Byte", 0x1FF);
  struct Case {
    std::vector<std::pair<unsigned, Bytes>> segments;
    unsigned n;
    bool prompt;
  };
  // The model runs a loader of any length; on the CPU it must hold the
  // whole talker.
  const std::vector<Case> cases =
      RigOnCpu() ? std::vector<Case>{{{{0, Loader(930)}}, 930, false},
                                     {{{0, Loader(950)}, {1000, Bytes(20, 0x42)}}, 950, true},
                                     {{{0, Loader(1024)}}, 1024, false}}
                 : std::vector<Case>{{{{0, Loader(100)}}, 255, false},
                                     {{{0, Loader(300)}, {400, Bytes(100, 0x42)}}, 300, true},
                                     {{{0, Loader(1024)}, {1100, Bytes(4, 0x42)}}, 1024, false}};
  bool prompted = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    sim->ResetIntoBootstrap();
    sim->ClearTrace();
    shell.statusTexts.clear();
    UseLoader(SRecordText(c.segments));
    // The user is asked to reset the target before anything is sent.
    shell.onBox = [&](const ScriptedShell::Box& box) {
      prompted = box.text == "Reset in Bootstrap Mode" && sim->HostBytes().empty();
    };
    CProgrammer p;
    std::istringstream file(SRecordText(c.segments));
    p.ReadSRecordStream(file);
    ASSERT_EQ(BootLoad(talker(), !c.prompt), 1);
    EXPECT_EQ(prompted, c.prompt);
    prompted = false;
    Bytes host = sim->HostBytes();
    ASSERT_GE(host.size(), c.n + 1);
    EXPECT_EQ(host[0], 0xFF);
    EXPECT_EQ(Bytes(host.begin() + 1, host.begin() + 1 + c.n),
              Bytes(p.m_image.begin(), p.m_image.begin() + c.n));
    EXPECT_EQ(sim->LoaderBytes().size(), c.n);
    // Then the first contact with the talker: a read of HPRIO.
    EXPECT_EQ(Bytes(host.begin() + 1 + c.n, host.begin() + 5 + c.n), (Bytes{0x01, 0x01, 0x10, 0x3C}));
    EXPECT_EQ(sim->Mode(), SimMode::Talker);
    EXPECT_EQ(link().m_settings.normalBaud, 9600);
    EXPECT_TRUE(link().Connected() && link().BootMode());
  }
  // The model leaves HPRIO as the reset left it; our talker sets its board's
  // value (boot ROM unmapped) before it answers.
  const std::string hprio = RigOnCpu() ? "103c " + Hex(KESTON_TALKER_HPRIO) : "103c e5";
  EXPECT_EQ(shell.statusTexts, (std::vector<std::string>{
                                   "Bootloading Controller", "Waiting to complete Bootload",
                                   "Verifying Bootload ... ", "Bootload Verified!.", "Controller Connected",
                                   hprio, "Controller Connection Good, Expanded mode"}));
}

TEST_F(BootLoadTest, EchoToleranceOfFivePercent) {
  if (RigOnCpu())
    GTEST_SKIP() << "the boot ROM stores what arrives from address 0: a download that lost its first bytes "
                    "leaves the talker shifted in the RAM, which only the model (it looks for its marker "
                    "anywhere) still runs";
  StartSim();
  // Lost host bytes are lost echoes; the ROM starts at the next 0xFF it sees.
  Bytes loader = Loader(300);
  std::fill(loader.begin(), loader.begin() + 20, 0xFF);
  UseLoader(SRecordText({{0, loader}}));

  sim->DropHostBytes(10);  // 290 echoes: 290 x 1.05 >= 300
  CProgrammer p;
  EXPECT_EQ(BootLoad(talker(), true), 1);
  EXPECT_TRUE(link().BootMode());

  sim->ResetIntoBootstrap();
  sim->DropHostBytes(20);  // 280 echoes: too few
  EXPECT_EQ(BootLoad(talker(), true), 0);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Boot Compare Failed!\nGot 280 bytes, Expected 300");
  EXPECT_EQ(shell.LastStatus(), "Bootload verify Failed.\n Boot again.\n ");
  EXPECT_FALSE(link().Connected() || link().BootMode());
  EXPECT_EQ(link().m_settings.normalBaud, 9600);
}

// A byte spoiled on its way is stored and echoed spoiled: the talker in RAM
// would not be the one sent.  The count of echoes alone cannot see it.
TEST_F(BootLoadTest, AnEchoThatIsNotTheByteSentFailsTheDownload) {
  StartSim();
  UseLoader(SRecordText({{0, Loader(300)}}));
  sim->ClearTrace();
  sim->SetHostNoise([](size_t index, uint8_t byte) { return index == 150 ? static_cast<uint8_t>(byte ^ 0x10) : byte; });
  OpResult result;
  EXPECT_EQ(BootLoad(talker(), true, &result), 0);
  EXPECT_EQ(Outcome::BootFailed, result.outcome);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Boot Compare Failed!");
  EXPECT_EQ(shell.LastStatus(), "Bootload verify Failed.\n Boot again.\n ");
  EXPECT_FALSE(link().Connected() || link().BootMode());

  // The same download over a clean line goes through.
  sim->SetHostNoise(nullptr);
  sim->ResetIntoBootstrap();
  EXPECT_EQ(BootLoad(talker(), true, &result), 1);
  EXPECT_TRUE(result.Ok()) << OutcomeName(result.outcome);
}

// The write returns long before a slow line has carried the download; the
// echo is waited for as long as it keeps coming.
TEST_F(BootLoadTest, EchoOfASlowLineIsAwaited) {
  SimOptions slow;
  slow.pace = true;
  slow.bootstrapBaud = 9600;  // 1,025 bytes take over a second
  StartSim(slow);
  UseLoader(SRecordText({{0, Loader(1024)}}));
  CProgrammer p;
  EXPECT_EQ(BootLoad(talker(), true), 1);
  EXPECT_TRUE(shell.boxes.empty());
  EXPECT_EQ(sim->Mode(), SimMode::Talker);
}

TEST_F(BootLoadTest, LoaderFileChoiceAndRefusals) {
  setenv("HOME", TempDir().c_str(), 1);
  StartSim();
  store.Clear();
  store.WriteProfileString("Comm", "Device 1", sim->SlavePath());
  ForgetBootFileChoice();

  // Nothing remembered and the dialog cancelled: stop before anything is sent.
  CProgrammer p;
  EXPECT_EQ(BootLoad(talker(), false), 0);
  ASSERT_EQ(shell.fileRequests.size(), 1u);
  const FileDialogRequest& r = shell.fileRequests[0];
  EXPECT_EQ(r.title, "Select Boot loader file");
  EXPECT_EQ(r.initialDir, TempDir() + "/");
  EXPECT_EQ(r.initialName, " ");
  EXPECT_EQ(r.filter, kProgramFileFilter);
  EXPECT_EQ(r.defaultExt, "S19");
  EXPECT_TRUE(r.mustExist);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Cannot open Boot file");
  EXPECT_TRUE(sim->HostBytes().empty());
  EXPECT_FALSE(link().Connected() || link().BootMode());
  EXPECT_EQ(link().m_settings.normalBaud, 9600);

  // A chosen file is remembered and opened without a dialog from then on.
  std::string chosen = WriteFile("mine.s19", SRecordText({{0, Loader(256)}}));
  shell.fileAnswers.push_back(chosen);
  EXPECT_EQ(BootLoad(talker(), true), 1);
  EXPECT_EQ(store.GetProfileString("file", "BOOT PATH", ""), TempDir() + "/");
  EXPECT_EQ(store.GetProfileString("file", "BOOT NAME", ""), "mine.s19");
  sim->ResetIntoBootstrap();
  EXPECT_EQ(BootLoad(talker(), true), 1);
  EXPECT_EQ(shell.fileRequests.size(), 2u);

  // An emptied name leaves only the folder, which is no loader file.
  store.WriteProfileString("file", "BOOT NAME", "");
  ForgetBootFileChoice();
  shell.boxes.clear();
  EXPECT_EQ(BootLoad(talker(), true), 0);
  EXPECT_EQ(shell.fileRequests.size(), 3u);
  EXPECT_EQ(shell.boxes.back().text, "Cannot open Boot file");

  // Files that would start arbitrary bytes in the target are refused unsent.
  sim->ClearTrace();
  UseLoader(SRecordText({{0x100, Loader(256)}}));
  EXPECT_EQ(BootLoad(talker(), true), 0);
  EXPECT_EQ(shell.boxes.back().text, "Boot file holds no loader at address 0");
  std::string damaged = SRecordText({{0, Loader(256)}});
  char& digit = damaged[damaged.find('\n', 20) - 1];
  digit = digit == '0' ? '1' : '0';
  UseLoader(damaged);
  EXPECT_EQ(BootLoad(talker(), true), 0);
  EXPECT_EQ(shell.boxes.back().text, "Boot file has checksum errors");
  // One byte more than the bootstrap stores would be cut off unseen.
  UseLoader(SRecordText({{0, Loader(1025)}}));
  EXPECT_EQ(BootLoad(talker(), true), 0);
  EXPECT_EQ(shell.boxes.back().text, "Boot file is longer than the 1024 bytes the bootstrap loads");
  EXPECT_TRUE(sim->HostBytes().empty());
  EXPECT_EQ(link().m_settings.normalBaud, 9600);
}

TEST_F(BootLoadTest, EnsureTalkerAndForcedConnection) {
  StartTalker();
  EXPECT_EQ(EnsureTalker(talker(), false), 1);
  EXPECT_TRUE(sim->HostBytes().empty());
  EXPECT_TRUE(shell.boxes.empty());

  // Without the talker taken to be running, EnsureTalker downloads it.
  view->OnDisconnect();
  sim->ResetIntoBootstrap();
  OpResult result;
  EXPECT_EQ(EnsureTalker(talker(), true, &result), 1);
  EXPECT_TRUE(result.Ok()) << OutcomeName(result.outcome);
  EXPECT_EQ(sim->Mode(), SimMode::Talker);

  view->OnDisconnect();
  view->OnForceProgConnection();
  EXPECT_TRUE(link().Connected() && link().BootMode());
  view->OnDisconnect();
  store.WriteProfileString("Comm", "Device 1", TempDir() + "/no-such-device");
  view->OnForceProgConnection();
  EXPECT_FALSE(link().Connected());
  EXPECT_TRUE(link().BootMode());
}

TEST_F(BootLoadTest, FailedDownloadStillAsksBeforeErase) {
  StartSim();
  store.WriteProfileString("file", "BOOT NAME", "missing.s19");
  ForgetBootFileChoice();
  view->OnEraseFlashChip();
  std::vector<std::string> texts;
  for (const auto& b : shell.boxes) texts.push_back(b.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Cannot open Boot file", "Erase Program?",
                                             "Communications not connected"}));
}

// While one command waits for the target, others are refused; Disconnect ends the wait.
TEST_F(BootLoadTest, OneExchangeAtATime) {
  StartTalker();
  sim->Stall();
  bool busyDuringWait = false;
  shell.onDispatch = [&] {
    busyDuringWait = link().ExchangeBusy();
    view->OnBootLoad();
    view->OnClearProcessor();
    view->OnEraseFlashChip();
    view->OnForceProgConnection();
    view->OnDisconnect();
    return false;
  };
  view->OnEraseFlashChip();
  EXPECT_TRUE(busyDuringWait);
  EXPECT_EQ(HostBytesOnceAtLeast(1), Bytes{0xC8});
  std::vector<std::string> texts;
  for (const auto& b : shell.boxes) texts.push_back(b.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Erase Program?", "AMD Erase Failed!"}));
  EXPECT_FALSE(link().ExchangeBusy());
  EXPECT_FALSE(link().Connected());
}

TEST(ProgressDlgTest, FieldsAndLifetime) {
  ScriptedShell shell;
  shell.Install();
  {
    CProgressDlg progress;
    progress.SetLabel("ignored while closed");
    EXPECT_TRUE(shell.progressUpdates.empty());
    ASSERT_TRUE(progress.Create());
    EXPECT_EQ(progress.m_label, "");
    progress.SetAddress(0x100, true);
    EXPECT_EQ(progress.m_address, "0x 100");
    progress.SetAddress(0x8000, true);
    EXPECT_EQ(progress.m_address, "0x8000");
    progress.SetAddress(0x12345678, true);
    EXPECT_EQ(progress.m_address.size(), 8u);
    progress.SetValue(5, true);
    EXPECT_EQ(progress.m_value, "0x 5");
    progress.SetValue(5, false);
    EXPECT_EQ(progress.m_value, "");
    progress.SetLabel("A label of more than twenty characters");
    EXPECT_EQ(progress.m_label.size(), 20u);
    progress.SetRange(0, 0x1FFFF);
    EXPECT_EQ(shell.progressUpdates.back().high, 0x1FFFF);
    EXPECT_EQ(shell.progressClosed, 0);
  }
  EXPECT_EQ(shell.progressOpened, 1);
  EXPECT_EQ(shell.progressClosed, 1);
  { CProgressDlg never; }
  EXPECT_EQ(shell.progressClosed, 1);
}

TEST(VerifyBootEchoTest, CountsEchoesAndNeedsTheLink) {
  CByteFifo queue(64);
  for (uint8_t i = 0; i < 10; ++i) queue.PutByte(i);
  const uint8_t sent[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(VerifyBootEcho(sent, 8, queue, 8, true), 1);
  EXPECT_EQ(queue.Count(), 2u);
  EXPECT_EQ(VerifyBootEcho(sent, 10, queue, 3, true), 0);  // ran dry
  // Echoes lost at the start: what arrived is the end of what was sent.
  for (uint8_t i = 3; i < 10; ++i) queue.PutByte(i);
  EXPECT_EQ(VerifyBootEcho(sent, 10, queue, 7, true), 1);
  // One echo that is not the byte sent fails the download, wherever it is.
  for (uint8_t i = 0; i < 10; ++i) queue.PutByte(i == 6 ? 0x66 : i);
  EXPECT_EQ(VerifyBootEcho(sent, 10, queue, 10, true), 0);
  EXPECT_EQ(queue.Count(), 0u);
  // More echoes than bytes sent is noise, not a download.
  for (uint8_t i = 0; i < 10; ++i) queue.PutByte(i);
  EXPECT_EQ(VerifyBootEcho(sent, 8, queue, 10, true), 0);
  // Echo bytes that are queued but cannot be taken over a lost link prove nothing.
  queue.Clear();
  queue.PutByte(9);
  EXPECT_EQ(VerifyBootEcho(sent, 10, queue, 1, false), 0);
}
