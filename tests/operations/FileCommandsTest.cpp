// File work without a controller: the program-file choosers and what they
// remember, Load Memory, Save Memory (with the atomic replace), Change Loader
// and Checksum Memory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <optional>

#include "OpsTestSupport.h"
#include "panes/MainFrame.h"
#include "app/TrellisView.h"
#include "image/LoadOffsetDlg.h"
#include "image/Programmer.h"
#include "operations/AddressRangeDlg.h"
#include "operations/FileChoice.h"
#include "operations/SaveFile.h"
#include "support/MemoryStore.h"
#include "support/ScriptedShell.h"

using namespace opstest;

namespace {

class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shell.Install();
    g_settings = &store;
    ForgetRememberedFiles();
    CAddressRangeDlg::ForgetRemembered();
    frame = std::make_unique<CMainFrame>();
    view = std::make_unique<CTrellisView>();
  }
  void TearDown() override {
    view.reset();
    frame.reset();
    g_settings = nullptr;
  }

  ScriptedShell::DialogAnswer Range(const std::string& start, const std::string& finish, int button = IDOK) {
    ScriptedShell::DialogAnswer a;
    a.button = button;
    a.texts = {{CAddressRangeDlg::IDC_START, start}, {CAddressRangeDlg::IDC_FINISH, finish}};
    return a;
  }
  std::string ShownText(const ScriptedShell::DialogRecord& d, int id) {
    for (const FieldInput& in : d.shown)
      if (in.id == id) return in.text;
    return "?";
  }

  ScriptedShell shell;
  MemoryStore store;
  ScratchDir dir;
  std::unique_ptr<CMainFrame> frame;
  std::unique_ptr<CTrellisView> view;
};

TEST_F(FileCommandsTest, LoadChooserRemembersAndQuickNeverTakesASameNamedFileElsewhere) {
  std::filesystem::create_directory(dir.Path("chosen"));
  std::filesystem::create_directory(dir.Path("current"));
  WriteText(dir.Path("chosen/ecu.s19"), SRecords(0x8000, {0x11, 0x22}));
  WriteText(dir.Path("current/ecu.s19"), SRecords(0x8000, {0x99, 0x99}));

  // First use: the home folder and the blank name, the load dialog's title.
  shell.fileAnswers.push_back(dir.Path("chosen/ecu.s19"));
  CProgrammer first;
  ASSERT_EQ(1, LoadImageFromFile(first, false));
  const FileDialogRequest& req = shell.fileRequests.back();
  EXPECT_EQ(DefaultFileFolder(), req.initialDir);
  EXPECT_EQ('/', req.initialDir.back());
  EXPECT_EQ(" ", req.initialName);
  EXPECT_EQ("Select file name to Load", req.title);
  EXPECT_TRUE(req.mustExist);
  EXPECT_EQ("S19", req.defaultExt);
  EXPECT_EQ(kProgramFileFilter, req.filter);
  EXPECT_EQ(dir.Path("chosen/"), store.GetProfileString("file", "Default path", ""));
  EXPECT_EQ("ecu.s19", store.GetProfileString("file", "Default Name", ""));

  // After a restart, with a file of the same name in the current folder,
  // the quick load still takes the remembered one, without a dialog.
  ForgetRememberedFiles();
  std::filesystem::path was = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path("current"));
  size_t requests = shell.fileRequests.size();
  CProgrammer quick;
  int loaded = LoadImageFromFile(quick, true);
  std::filesystem::current_path(was);
  ASSERT_EQ(1, loaded);
  EXPECT_EQ(requests, shell.fileRequests.size());
  EXPECT_EQ(0x11, quick.GetImageByte(0x8000));
  EXPECT_EQ(0x22, quick.GetImageByte(0x8001));

  // Once the remembered file is gone, the quick load asks; Cancel loads nothing.
  std::filesystem::remove(dir.Path("chosen/ecu.s19"));
  CProgrammer gone;
  EXPECT_EQ(0, LoadImageFromFile(gone, true));
  EXPECT_EQ(requests + 1, shell.fileRequests.size());
  EXPECT_EQ("Get File to Load", shell.LastStatus());
  EXPECT_GT(gone.m_lowest, gone.m_highest);
}

TEST_F(FileCommandsTest, LoadAndChecksumChoosersKeepTheirOwnCopies) {
  WriteText(dir.Path("a.s19"), SRecords(0x100, {1}));
  WriteText(dir.Path("b.s19"), SRecords(0x100, {2}));
  shell.fileAnswers.push_back(dir.Path("a.s19"));
  view->OnLoadMemory();
  // The checksum chooser reads the store on its first use: it offers a.s19.
  shell.fileAnswers.push_back(dir.Path("b.s19"));
  view->OnChecksumMemory();
  EXPECT_EQ("a.s19", shell.fileRequests.back().initialName);
  EXPECT_EQ("", shell.fileRequests.back().title);
  EXPECT_EQ("b.s19", store.GetProfileString("file", "Default Name", ""));
  // The load chooser goes on from its own last choice.
  shell.fileAnswers.push_back(std::nullopt);
  view->OnLoadMemory();
  EXPECT_EQ("a.s19", shell.fileRequests.back().initialName);
}

TEST_F(FileCommandsTest, ChecksumSumsBigEndianWordsOverTheChosenRange) {
  WriteText(dir.Path("four.s19"), SRecords(0x8000, {0x12, 0x34, 0x56, 0x78}));
  auto run = [&](std::optional<ScriptedShell::DialogAnswer> range) {
    shell.fileAnswers.push_back(dir.Path("four.s19"));
    shell.dialogAnswers.push_back({});  // Load Offset as offered
    if (range) shell.dialogAnswers.push_back(*range);
    view->OnChecksumMemory();
    return shell.LastStatus();
  };
  // Offered 8000 to 8003: an odd length takes the last byte as a low byte.
  EXPECT_EQ("Checksum 0x 68ac", run(std::nullopt));
  EXPECT_EQ("8000", ShownText(shell.dialogs.back(), CAddressRangeDlg::IDC_START));
  EXPECT_EQ("8003", ShownText(shell.dialogs.back(), CAddressRangeDlg::IDC_FINISH));
  EXPECT_EQ("Checksum 0x 1234", run(Range("8000", "8002")));
  EXPECT_EQ("Checksum 0x 0", run(Range("8003", "8000")));
  // Cancel sums the range the dialog was opened with.
  EXPECT_EQ("Checksum 0x 68ac", run(Range("0", "ffff", IDCANCEL)));
  // Pre-fill counts where the file has nothing: the whole space of 0xFF
  // around the four bytes.
  uint32_t expect = 0x7FFF8000u - 2 * 0xFFFF + 0x1234 + 0x5678;
  char text[32];
  std::snprintf(text, sizeof text, "Checksum 0x %x", expect);
  EXPECT_EQ(text, run(Range("0", "ffff")));

  // Nothing chosen: the status keeps "Getting File".
  view->OnChecksumMemory();
  EXPECT_EQ("Getting File", shell.LastStatus());
}

TEST_F(FileCommandsTest, DamagedRecordsAreReportedByLoadMemoryAndChecksum) {
  WriteText(dir.Path("bad.s19"), "S00600000000F9\n" + S1(0x8000, {1, 2}) + S1(0x8002, {3, 4}, true) +
                                     S1(0x8004, {5, 6}, true) + "S9030000FC\n");
  shell.fileAnswers.push_back(dir.Path("bad.s19"));
  view->OnLoadMemory();
  EXPECT_EQ("Loaded, but 2 records failed their checksum", shell.LastStatus());
  shell.fileAnswers.push_back(dir.Path("bad.s19"));
  shell.dialogAnswers.push_back({});
  shell.dialogAnswers.push_back(Range("8000", "8003"));
  view->OnChecksumMemory();
  EXPECT_EQ("Checksum 0x 406, but 2 records failed their checksum", shell.LastStatus());
}

TEST_F(FileCommandsTest, SaveMemoryWritesTheLoadedRangeAndNothingWhenEmpty) {
  // Nothing loaded yet: ffff to 0 is offered and nothing is asked or written.
  view->OnSaveMemory();
  EXPECT_EQ("ffff", ShownText(shell.dialogs.back(), CAddressRangeDlg::IDC_START));
  EXPECT_EQ("0", ShownText(shell.dialogs.back(), CAddressRangeDlg::IDC_FINISH));
  EXPECT_TRUE(shell.fileRequests.empty());
  EXPECT_EQ("Nothing saved: Starting is not below Finish", shell.LastStatus());

  // Two loads accumulate; the offer spans both.
  std::vector<uint8_t> low = Pattern(40, 1), high = Pattern(24, 2);
  WriteText(dir.Path("low.s19"), SRecords(0x8000, low));
  WriteText(dir.Path("high.s19"), SRecords(0x9000, high));
  shell.fileAnswers.push_back(dir.Path("low.s19"));
  view->OnLoadMemory();
  // Pre-fill would wipe the first file's bytes; the second load goes without.
  ScriptedShell::DialogAnswer noFill;
  noFill.values = {{CLoadOffsetDlg::IDC_PREFILL, 0}};
  shell.dialogAnswers.push_back(noFill);
  shell.fileAnswers.push_back(dir.Path("high.s19"));
  view->OnLoadMemory();
  shell.fileAnswers.push_back(dir.Path("out.s19"));
  view->OnSaveMemory();
  EXPECT_EQ("8000", ShownText(shell.dialogs.back(), CAddressRangeDlg::IDC_START));
  EXPECT_EQ("9017", ShownText(shell.dialogs.back(), CAddressRangeDlg::IDC_FINISH));
  EXPECT_EQ("Select file name to Save Program", shell.fileRequests.back().title);
  EXPECT_TRUE(shell.fileRequests.back().save);
  // The question about an existing file comes once, from us, not also from the dialog.
  EXPECT_FALSE(shell.fileRequests.back().overwritePrompt);
  // Saved as ".s19", the name every S-record tool knows.
  EXPECT_EQ("s19", shell.fileRequests.back().defaultExt);

  CProgrammer back;
  back.FillImage(0);
  FILE* f = std::fopen(dir.Path("out.s19").c_str(), "r");
  ASSERT_NE(nullptr, f);
  back.ReadSRecordFile(f);
  std::fclose(f);
  EXPECT_EQ(0x8000u, back.m_lowest);
  EXPECT_EQ(0x9017u, back.m_highest);
  for (size_t i = 0; i < low.size(); ++i) ASSERT_EQ(low[i], back.GetImageByte(0x8000 + i));
  for (size_t i = 0; i < high.size(); ++i) ASSERT_EQ(high[i], back.GetImageByte(0x9000 + i));
  EXPECT_EQ(0xFF, back.GetImageByte(0x8800));  // pre-filled gap between the files
  EXPECT_EQ((std::vector<std::string>{"high.s19", "low.s19", "out.s19"}), [&] {
    auto n = dir.Names();
    std::sort(n.begin(), n.end());
    return n;
  }());
}

TEST_F(FileCommandsTest, DecliningTheOverwriteLeavesTheFileUntouched) {
  WriteText(dir.Path("in.s19"), SRecords(0x8000, Pattern(8, 3)));
  WriteText(dir.Path("keep.s19"), "old contents");
  shell.fileAnswers.push_back(dir.Path("in.s19"));
  view->OnLoadMemory();
  shell.fileAnswers.push_back(dir.Path("keep.s19"));
  shell.boxAnswers.push_back(IDCANCEL);
  view->OnSaveMemory();
  EXPECT_TRUE(shell.SawBox("File Exists, Overwrite?"));
  EXPECT_EQ("old contents", ReadText(dir.Path("keep.s19")));
}

TEST_F(FileCommandsTest, ASaveThatCannotBeCompletedKeepsTheEarlierFile) {
  WriteText(dir.Path("in.s19"), SRecords(0, Pattern(0x4000, 4)));
  WriteText(dir.Path("prog.s19"), "earlier program");
  shell.fileAnswers.push_back(dir.Path("in.s19"));
  view->OnLoadMemory();

  // A file-size limit stands in for a full disk: the writes fail part way.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 4096;
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
  shell.fileAnswers.push_back(dir.Path("prog.s19"));
  view->OnSaveMemory();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  ASSERT_FALSE(shell.boxes.empty());
  EXPECT_NE(std::string::npos, shell.boxes.back().text.find("could not be saved completely"));
  EXPECT_EQ("earlier program", ReadText(dir.Path("prog.s19")));
  EXPECT_EQ(2u, dir.Names().size()) << "the unfinished file was left behind";

  // A folder that cannot take a new file is reported too.
  std::filesystem::create_directory(dir.Path("locked"));
  std::filesystem::permissions(dir.Path("locked"),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (geteuid() != 0) {
    shell.fileAnswers.push_back(dir.Path("locked/prog.s19"));
    view->OnSaveMemory();
    EXPECT_NE(std::string::npos, shell.boxes.back().text.find("Cannot create the file"));
  }
}

// A device or a pipe would be replaced by a regular file (as root, even
// /dev/null): only regular files and new names are saved to.
TEST_F(FileCommandsTest, SavingOntoADeviceOrAPipeIsRefused) {
  WriteText(dir.Path("in.s19"), SRecords(0x8000, Pattern(8, 3)));
  shell.fileAnswers.push_back(dir.Path("in.s19"));
  view->OnLoadMemory();
  ASSERT_EQ(0, mkfifo(dir.Path("pipe").c_str(), 0600));
  for (const std::string& target : {std::string("/dev/null"), dir.Path("pipe")}) {
    shell.boxes.clear();
    shell.fileAnswers.push_back(target);
    view->OnSaveMemory();
    ASSERT_EQ(1u, shell.boxes.size()) << target;
    EXPECT_EQ(target + " is not a regular file (a device, a pipe or a folder); choose a file name instead.",
              shell.boxes[0].text);
  }
  struct stat st {};
  ASSERT_EQ(0, stat("/dev/null", &st));
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  ASSERT_EQ(0, stat(dir.Path("pipe").c_str(), &st));
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  std::string error;
  EXPECT_EQ(nullptr, CSaveFile::Create(dir.Path("pipe"), error));
  EXPECT_NE(std::string::npos, error.find("not a regular file"));
}

// A save killed half way leaves nothing behind; what an older, killed save
// left is cleared by the next save into that folder.
TEST_F(FileCommandsTest, KilledSavesLeaveNoHiddenFilesForLong) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string error;
    std::unique_ptr<CSaveFile> save = CSaveFile::Create(dir.Path("prog.s19"), error);
    if (!save) _exit(2);
    std::fputs("S1 half a program", save->File());
    std::fflush(save->File());
    _exit(0);  // no destructor, no commit: as if killed
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(0, WEXITSTATUS(status));

  // A hidden file of a process that is gone, and one of a process still here.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, &status, 0);
  WriteText(dir.Path(".prog.s19.keston-" + std::to_string(gone) + "-AbCdEf"), "left by a killed save");
  WriteText(dir.Path(".prog.s19.keston-1-AbCdEf"), "a save still running");
  std::string error;
  std::unique_ptr<CSaveFile> save = CSaveFile::Create(dir.Path("prog.s19"), error);
  ASSERT_NE(nullptr, save) << error;
  std::fputs("whole", save->File());
  ASSERT_EQ(1, save->Commit(error)) << error;
  std::vector<std::string> names = dir.Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{".prog.s19.keston-1-AbCdEf", "prog.s19"}), names);
  EXPECT_EQ("whole", ReadText(dir.Path("prog.s19")));
}

TEST_F(FileCommandsTest, ChangeLoaderEmptiesTheStoredNameAndSaysSo) {
  view->OnChangeLoader();
  EXPECT_TRUE(store.Has("file", "BOOT NAME"));
  EXPECT_EQ("", store.GetProfileString("file", "BOOT NAME", "x"));
  EXPECT_TRUE(shell.SawBox("Talker Cleared"));
}

}  // namespace

#include "operations/ThreadPriority.h"

namespace {

// Raised where the privilege allows it, and always back where it was.
TEST(RaisedPriority, IsRestoredWhetherOrNotItCouldBeRaised) {
  int before = CurrentThreadNice();
  {
    CRaisedPriority raised;
    EXPECT_EQ(raised.Raised() ? before - 1 : before, CurrentThreadNice());
  }
  EXPECT_EQ(before, CurrentThreadNice());
}

}  // namespace
