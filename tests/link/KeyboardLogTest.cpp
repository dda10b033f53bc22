// Typed keys, their echo in the "XMIT: " pane and the traffic log.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>

#include "LinkFixture.h"

namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

}  // namespace

TEST_F(LinkTest, TypedKeysSendTheirFramesAndEchoThem) {
  view->OnConnect();
  ASSERT_TRUE(view->Link().Connected());
  const struct {
    char key;
    std::vector<uint8_t> frame;
    const char* echo;
  } keys[] = {
      {'0', {0xF4, 0x57, 0x01, 0x00, 0xB4}, "XMIT: F4,57,1,0,B4,"},
      {'1', {0xF4, 0x57, 0x01, 0x01, 0xB3}, "XMIT: F4,57,1,1,B3,"},
      {'2', {0xF4, 0x57, 0x01, 0x02, 0xB2}, "XMIT: F4,57,1,2,B2,"},
      {'4', {0xF4, 0x57, 0x01, 0x04, 0xB0}, "XMIT: F4,57,1,4,B0,"},
      {'6', {0xF4, 0x57, 0x01, 0x06, 0xAE}, "XMIT: F4,57,1,6,AE,"},
      {'8', {0xF4, 0x56, 0x08, 0xAE}, "XMIT: F4,56,8,AE,"},
      {'a', {0xF4, 0x56, 0x0A, 0xAC}, "XMIT: F4,56,A,AC,"},
  };
  for (const auto& k : keys) {
    SCOPED_TRACE(k.key);
    const int redraws = shell.redraws;
    view->OnChar(static_cast<unsigned char>(k.key));
    EXPECT_EQ(pty.ReadBytes(k.frame.size(), 5000), k.frame);
    EXPECT_EQ(frame->m_pXmitPane->Lines().back(), k.echo);
    EXPECT_GT(shell.redraws, redraws);
    unsigned sum = 0;
    for (uint8_t b : k.frame) sum += b;
    EXPECT_EQ(sum % 256, 0u);
  }
  const int lines = frame->m_pXmitPane->Count();
  // Keys without a frame: other digits, upper case, other letters, and
  // codes below '0', which wrap to large key numbers.
  for (unsigned code : std::vector<unsigned>{'3', '5', '9', 'A', 'b', 'z', ' ', '\r', 0, 0xFF})
    view->OnChar(code);
  EXPECT_TRUE(pty.Drain(200).empty());
  EXPECT_EQ(frame->m_pXmitPane->Count(), lines);
}

TEST_F(LinkTest, KeysAreIgnoredWhileDisconnectedOrDuringATargetExchange) {
  view->OnChar('a');  // port closed
  EXPECT_EQ(frame->m_pXmitPane->Count(), 0);
  view->OnConnect();
  {
    CExchangeGuard exchange(view->Link());
    ASSERT_TRUE(exchange.Acquired());
    view->OnChar('a');
    EXPECT_TRUE(pty.Drain(200).empty());
    EXPECT_EQ(frame->m_pXmitPane->Count(), 0);
  }
  view->OnChar('a');
  EXPECT_EQ(pty.ReadBytes(4, 5000).size(), 4u);
  view->OnDisconnect();
  view->OnChar('a');
  EXPECT_EQ(frame->m_pXmitPane->Count(), 1);
}

TEST_F(LinkTest, TrafficLogGetsOneCrLfLinePerFrameEvenWithDisplayCommOff) {
  const std::string path = testing::TempDir() + "/traffic.txt";
  shell.fileAnswers.push_back(path);
  view->OnLogComm();
  ASSERT_EQ(shell.fileRequests.size(), 1u);
  const FileDialogRequest& request = shell.fileRequests[0];
  EXPECT_TRUE(request.save);
  EXPECT_EQ(request.defaultExt, "txt");
  EXPECT_EQ(request.initialName, "logcomm");
  EXPECT_TRUE(request.filter.empty());
  EXPECT_TRUE(request.overwritePrompt);
  EXPECT_FALSE(request.initialDir.empty());
  EXPECT_TRUE(view->IsCommLogOpen());

  view->OnConnect();
  view->m_displayComm = 0;
  view->OnChar('0');
  view->OnChar('8');
  view->OnChar('a');
  EXPECT_EQ(frame->m_pXmitPane->Count(), 0);
  EXPECT_EQ(FileText(path), "XMIT: F4,57,1,0,B4,\r\nXMIT: F4,56,8,AE,\r\nXMIT: F4,56,A,AC,\r\n");

  std::string line = "direct";
  view->WriteCommLog(line);
  EXPECT_EQ(line, "direct\r\n");  // the caller's string carries the line end afterwards
  EXPECT_TRUE(CommErrors().empty());
  std::remove(path.c_str());
}

TEST_F(LinkTest, ChoosingALogAgainMovesItAndClosesTheEarlierFile) {
  const std::string first = testing::TempDir() + "/first.txt";
  const std::string second = testing::TempDir() + "/second.txt";
  shell.fileAnswers.push_back(first);
  view->OnLogComm();
  const int descriptors = OpenDescriptors();
  shell.fileAnswers.push_back(second);
  view->OnLogComm();
  shell.fileAnswers.push_back(second);
  view->OnLogComm();
  EXPECT_EQ(OpenDescriptors(), descriptors);
  view->OnConnect();
  view->OnChar('1');
  EXPECT_EQ(FileText(first), "");
  EXPECT_EQ(FileText(second), "XMIT: F4,57,1,1,B3,\r\n");

  // Cancelling the chooser leaves the log as it was.
  view->OnLogComm();
  EXPECT_TRUE(view->IsCommLogOpen());
  std::remove(first.c_str());
  std::remove(second.c_str());
}

TEST_F(LinkTest, ALogThatCannotBeCreatedStaysClosedWithOneErrorLine) {
  shell.fileAnswers.push_back(std::nullopt);  // cancelled
  view->OnLogComm();
  EXPECT_FALSE(view->IsCommLogOpen());
  EXPECT_EQ(view->StatusLineText().find("Logging comms, "), std::string::npos);

  shell.fileAnswers.push_back(std::string("/nonexistent-dir/logcomm.txt"));
  view->OnLogComm();
  shell.fileAnswers.push_back(std::string("/nonexistent-dir/logfile.txt"));
  view->OnLogRun();
  EXPECT_FALSE(view->IsCommLogOpen());
  ASSERT_EQ(CommErrors().size(), 2u);
  EXPECT_EQ(CommErrors()[0], "Comm err: <LogComm Error-2>");
  EXPECT_EQ(CommErrors()[1], "Comm err: <LogFile Error-2>");
  EXPECT_EQ(view->Logs().m_msgBuf, "<LogFile Error-2>");

  view->OnConnect();  // clears the panes; the failed logs add nothing later
  view->OnChar('a');
  view->OnDisconnect();
  EXPECT_TRUE(CommErrors().empty());
  EXPECT_EQ(view->StatusLineText().find("Logging comms, "), std::string::npos);
}

TEST_F(LinkTest, AFailingLogWriteReportsTheErrorAndTheMissingBytes) {
  // A full disk, made by a file size limit: every write past it fails.
  const std::string path = testing::TempDir() + "/full-log.txt";
  shell.fileAnswers.push_back(path);
  view->OnLogComm();
  ASSERT_TRUE(view->IsCommLogOpen());
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit none = old;
  none.rlim_cur = 0;
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &none));
  std::string line = "XMIT: F4,56,A,AC,";
  view->WriteCommLog(line);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  const auto errors = CommErrors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "Comm err: <log comm error-27>");  // EFBIG
  EXPECT_EQ(errors[1], "Comm err: <log bytes error-" + std::to_string(line.size()) + ">");
  EXPECT_TRUE(view->IsCommLogOpen());  // a failed write does not end the log
  std::remove(path.c_str());
}

// A device or a pipe named as the log would be written into as if it were a
// file: refused with the reason, and the earlier log stays.
TEST_F(LinkTest, ALogIsOnlyEverARegularFile) {
  const std::string path = testing::TempDir() + "/kept-log.txt";
  shell.fileAnswers.push_back(path);
  view->OnLogComm();
  ASSERT_TRUE(view->IsCommLogOpen());
  const std::string fifo = testing::TempDir() + "/log-fifo";
  std::remove(fifo.c_str());
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  for (const std::string& other : {std::string("/dev/null"), fifo}) {
    shell.fileAnswers.push_back(other);
    view->OnLogComm();
    ASSERT_FALSE(CommErrors().empty());
    EXPECT_NE(CommErrors().back().find(other + " is not a regular file"), std::string::npos) << CommErrors().back();
  }
  view->OnConnect();
  view->OnChar('1');
  EXPECT_EQ(FileText(path), "XMIT: F4,57,1,1,B3,\r\n");
  std::remove(fifo.c_str());
  std::remove(path.c_str());
}
