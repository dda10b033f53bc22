// Saving on Windows: the new file takes the old one's place (rename() would
// refuse), the bytes are exactly those written (no CR added), a save that is
// not committed leaves the old file, and leftovers of a dead save go.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "operations/SaveFile.h"
#include "operations/ThreadPriority.h"

namespace {

namespace fs = std::filesystem;

class SaveFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("keston-save-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  int Entries() const {
    int n = 0;
    for (const auto& e : fs::directory_iterator(m_dir)) {
      (void)e;
      ++n;
    }
    return n;
  }
  fs::path m_dir;
};

TEST_F(SaveFileTest, CommitReplacesTheOldFileWithTheExactBytes) {
  const std::string target = Path("prog.s19");
  { std::ofstream(target, std::ios::binary) << "old contents, longer than the new\n"; }
  std::string error;
  auto save = CSaveFile::Create(target, error);
  ASSERT_TRUE(save) << error;
  std::fputs("S1\nS9\n\x1a\r\n", save->File());
  ASSERT_EQ(save->Commit(error), 1) << error;
  EXPECT_EQ(Read(target), "S1\nS9\n\x1a\r\n");
  EXPECT_EQ(Entries(), 1);
}

TEST_F(SaveFileTest, SaveThatIsNotCommittedLeavesTheOldFile) {
  const std::string target = Path("prog.s19");
  { std::ofstream(target, std::ios::binary) << "keep me"; }
  {
    std::string error;
    auto save = CSaveFile::Create(target, error);
    ASSERT_TRUE(save) << error;
    std::fputs("half", save->File());
    EXPECT_EQ(Entries(), 2);  // the new file beside the old one
  }
  EXPECT_EQ(Read(target), "keep me");
  EXPECT_EQ(Entries(), 1);
}

TEST_F(SaveFileTest, LeftoversOfADeadSaveAreRemoved) {
  const std::string target = Path("prog.s19");
  // Process ids are multiples of 4 on Windows; this one runs nothing.
  const std::string stale = Path(".prog.s19.keston-4194301-0");
  { std::ofstream(stale) << "left by a killed save"; }
  std::string error;
  auto save = CSaveFile::Create(target, error);
  ASSERT_TRUE(save) << error;
  EXPECT_FALSE(fs::exists(stale));
  ASSERT_EQ(save->Commit(error), 1) << error;
}

TEST_F(SaveFileTest, FolderIsRefusedAsATarget) {
  std::string error;
  EXPECT_FALSE(CSaveFile::Create(m_dir.string(), error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  EXPECT_FALSE(CSaveFile::Create(Path("missing") + "\\x.s19", error));
}

TEST(RaisedPriority, RaisesForItsLifeAndRestores) {
  const int before = CurrentThreadNice();
  {
    CRaisedPriority raised;
    EXPECT_EQ(raised.Raised() ? before - 1 : before, CurrentThreadNice());
  }
  EXPECT_EQ(before, CurrentThreadNice());
}

}  // namespace
