// The line faults of LineTest once more, on the checked protocol our talker
// offers: block writes (0x24) and block reads (0x23).  A byte lost or
// spoiled either way costs its block one more sending, never wrong data
// taken for written; noise ends in the exact data or in a fault; a stall or
// a hang-up fails the operation in seconds, and the user's way back (plug
// in, reset, Boot Load, again) writes it all.
#include <algorithm>
#include <cctype>
#include <sstream>

#include "TalkerRig.h"
#include "board.h"
#include "operations/Flash.h"
#include "panes/MainFrame.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "target/Stream.h"

namespace {

using hc11::FlashChip;

struct Operation {
  const char* name;
  FlashChip::Kind chip;
  unsigned address;
  size_t size;
};

// Three flash blocks, two EEPROM blocks (1.3 s of pulses each): every
// operation has a first block with the next block's command right behind
// its frame and a last block with nothing behind it.
const Operation kOperations[] = {
    {"WriteFlash", FlashChip::Kind::Am29F010, 0x8000, 384},
    {"WriteFlashBlocks", FlashChip::Kind::Sst29EE010, 0x8000, 384},
    {"WriteEepromBlock", FlashChip::Kind::Am29F010, 0x0E00, 256},
};

// What a block write puts on the line: from the host the command and the
// frame, from the talker the command's complement, the status and the CRC.
constexpr size_t kHostPerBlock = 1 + xproto::kWriteFrameSize;
constexpr size_t kTalkerPerBlock = 4;

void PrintTo(const Operation& op, std::ostream* os) { *os << op.name; }

bool IsEeprom(const Operation& op) { return op.address == 0x0E00; }

std::string TestName(std::string name) {
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

class CheckedRig : public TalkerRig {
 protected:
  // A new controller with our talker booted; the user would give up only
  // after far longer than any wait of the host's.
  void Fresh(const Operation& op) {
    Start(op.chip);
    Boot();
    GiveUpAfterSilence(30.0);
  }
  int Write(const Operation& op, const Bytes& data) { return RunWriter(op.name, op.address, data); }
  Bytes Holds(const Operation& op) { return TargetHolds(op.address, op.size); }

  // Where the block writes start in both traces of a write without faults,
  // and how long it took.  The standard commands before them (the EEPROM
  // switched off or on) are counted from the trace rather than assumed.
  struct Layout {
    size_t host = 0;
    size_t talker = 0;
    double seconds = 0;
  };
  Layout Measure(const Operation& op, const Bytes& data) {
    Layout at;
    Fresh(op);
    const double start = device->Now();
    EXPECT_EQ(Write(op, data), 1);
    at.seconds = device->Now() - start;
    const size_t blocks = op.size / xproto::kRun;
    const Bytes host = device->HostBytes(), answers = device->TargetBytes();
    EXPECT_GE(host.size(), blocks * kHostPerBlock);
    EXPECT_GE(answers.size(), blocks * kTalkerPerBlock);
    if (host.size() < blocks * kHostPerBlock || answers.size() < blocks * kTalkerPerBlock) return at;
    at.host = host.size() - blocks * kHostPerBlock;
    at.talker = answers.size() - blocks * kTalkerPerBlock;
    for (size_t b = 0; b < blocks; ++b) {
      EXPECT_EQ(host[at.host + b * kHostPerBlock], xproto::CMD_XWRITE) << "block " << b;
      EXPECT_EQ(answers[at.talker + b * kTalkerPerBlock], static_cast<uint8_t>(~xproto::CMD_XWRITE))
          << "block " << b;
      EXPECT_EQ(answers[at.talker + b * kTalkerPerBlock + 1], xproto::kWriteOk) << "block " << b;
    }
    return at;
  }

  // The talker waits for a command: the line is quiet and a read answers.
  void ExpectTalkerInStep() {
    ExpectSilence(0.5);
    talker->ClearFault();
    uint8_t hprio = 0;
    EXPECT_EQ(talker->ReadTargetByte(0x103C, hprio), 1);
    EXPECT_EQ(hprio, talker_board::HPRIO_VALUE);
  }

  // The user's way back after a failure: the line plugged in again, the
  // controller reset into bootstrap mode, Boot Load, and the write again.
  void ExpectWayBack(const Operation& op, const Bytes& data) {
    device->SetRandomCorruption(0, 0);
    device->Replug();
    Boot();
    if (!IsEeprom(op) && op.chip == FlashChip::Kind::Am29F010) {
      ASSERT_EQ(ChipErase(*talker), 1);
    }
    EXPECT_EQ(Write(op, data), 1) << OutcomeName(talker->FaultOutcome());
    EXPECT_EQ(Holds(op), data);
    EXPECT_FALSE(gaveUp);
  }
};

// ---- one byte lost or spoiled ----

enum class Side { Host, Talker };

struct ByteFault {
  const char* name;
  Side side;
  bool lost;  // lost on the line; otherwise `mask` flipped
  uint8_t mask;
  bool lastBlock;  // the last block, nothing behind its frame; otherwise the first
  // Within the block's exchange.  Host: 0 the command, 1-4 count, address
  // and kind, 5-132 the run, 133-134 the CRC.  Talker: 0 the complement,
  // 1 the status, 2-3 the CRC of what it read back.
  size_t offset;
};

const ByteFault kByteFaults[] = {
    {"command spoiled", Side::Host, false, 0x10, false, 0},
    {"command spoiled into the rate switch", Side::Host, false, 0x01, false, 0},
    {"command sent ahead spoiled", Side::Host, false, 0x10, true, 0},
    {"command lost", Side::Host, true, 0, false, 0},
    {"command sent ahead lost", Side::Host, true, 0, true, 0},
    {"count spoiled", Side::Host, false, 0x80, false, 1},
    {"address spoiled", Side::Host, false, 0x01, true, 2},
    {"kind spoiled", Side::Host, false, 0x02, false, 4},
    {"data spoiled", Side::Host, false, 0x10, false, 60},
    {"last data spoiled", Side::Host, false, 0x10, true, 60},
    {"data lost", Side::Host, true, 0, false, 60},
    {"last data lost", Side::Host, true, 0, true, 60},
    {"CRC spoiled", Side::Host, false, 0x01, true, 134},
    {"CRC lost", Side::Host, true, 0, false, 134},
    {"last CRC lost", Side::Host, true, 0, true, 134},
    {"complement spoiled", Side::Talker, false, 0x10, false, 0},
    {"complement spoiled as the rate switch's", Side::Talker, false, 0x01, false, 0},
    {"complement after a frame spoiled", Side::Talker, false, 0x10, true, 0},
    {"complement lost", Side::Talker, true, 0, false, 0},
    {"complement after a frame lost", Side::Talker, true, 0, true, 0},
    {"status spoiled", Side::Talker, false, 0x01, false, 1},
    {"last status spoiled", Side::Talker, false, 0x02, true, 1},
    {"status lost", Side::Talker, true, 0, false, 1},
    {"last status lost", Side::Talker, true, 0, true, 1},
    {"answer CRC spoiled", Side::Talker, false, 0x80, false, 3},
    {"answer CRC lost", Side::Talker, true, 0, false, 2},
    {"last answer CRC lost", Side::Talker, true, 0, true, 3},
};

void PrintTo(const ByteFault& fault, std::ostream* os) { *os << fault.name; }

class CheckedByteFaultTest : public CheckedRig,
                             public ::testing::WithParamInterface<std::tuple<Operation, ByteFault>> {};

TEST_P(CheckedByteFaultTest, BlockIsSentAgainAndTheOperationSucceeds) {
  const Operation op = std::get<0>(GetParam());
  const ByteFault fault = std::get<1>(GetParam());
  const Bytes data = Pattern(op.size, 64);
  const Layout at = Measure(op, data);
  const size_t block = fault.lastBlock ? op.size / xproto::kRun - 1 : 0;
  const bool host = fault.side == Side::Host;
  const size_t index =
      (host ? at.host + block * kHostPerBlock : at.talker + block * kTalkerPerBlock) + fault.offset;

  Fresh(op);
  const int nth = static_cast<int>(index);
  if (host && fault.lost) device->DropHostBytes(1, nth);
  if (host && !fault.lost) device->SpoilHostByte(nth + 1, fault.mask);
  if (!host && fault.lost) device->DropTargetBytes(1, nth);
  if (!host && !fault.lost) device->SpoilTargetByte(nth + 1, fault.mask);
  const double start = device->Now();
  const int result = Write(op, data);
  const double took = device->Now() - start;

  // The fault hit the byte meant.
  if (host) {
    ASSERT_GT(device->HostLog().size(), index);
    const auto& f = device->HostLog()[index];
    EXPECT_TRUE(fault.lost ? f.dropped : f.onWire == (f.byte ^ fault.mask));
  } else {
    ASSERT_GT(device->TargetLog().size(), index);
    const auto& f = device->TargetLog()[index];
    EXPECT_TRUE(fault.lost ? !f.delivered : f.heard == (f.byte ^ fault.mask));
  }
  EXPECT_EQ(result, 1) << OutcomeName(talker->FaultOutcome()) << " at " << std::hex << talker->FaultAddress();
  EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);
  EXPECT_EQ(Holds(op), data);
  EXPECT_EQ(machine().Crash(), "");
  EXPECT_FALSE(gaveUp);
  // The block once more, and at worst one wait for an answer that could not
  // come: a flash block's answer is due within tens of milliseconds.
  EXPECT_LT(took - at.seconds, IsEeprom(op) ? 8.0 : 1.5) << "took " << took << " s";
  ExpectTalkerInStep();
}

INSTANTIATE_TEST_SUITE_P(Line, CheckedByteFaultTest,
                         ::testing::Combine(::testing::ValuesIn(kOperations),
                                            ::testing::ValuesIn(kByteFaults)),
                         [](const ::testing::TestParamInfo<std::tuple<Operation, ByteFault>>& info) {
                           return TestName(std::string(std::get<0>(info.param).name) + "_" +
                                           std::get<1>(info.param).name);
                         });

// Noise can turn our command into one of the talker's standard writes,
// which takes whatever follows as a count, an address and bytes to store
// there: the write stops at once, with nothing more sent, and says the
// command was not taken.
class CheckedCommandTest : public CheckedRig {};

TEST_F(CheckedCommandTest, CommandHeardAsAStandardWriteStopsTheWrite) {
  const Operation& op = kOperations[0];
  const Bytes data = Pattern(op.size, 69);
  const Layout at = Measure(op, data);
  const Bytes loader = TalkerImage(std::string(KESTON_TALKER_DIR) + "/talker.s19");
  ASSERT_GE(loader.size(), xproto::kSignatureAddress + xproto::kSignatureSize);
  for (const uint8_t command : {CMD_WRITE, CMD_EEPROM_WRITE, CMD_FLASH_WRITE, CMD_FLASH_BLOCK_WRITE}) {
    // The first block's command, and the second's, sent behind the first frame.
    for (const size_t block : {size_t{0}, size_t{1}}) {
      SCOPED_TRACE(std::to_string(command) + " for block " + std::to_string(block));
      Fresh(op);
      const size_t index = at.host + block * kHostPerBlock;
      device->SpoilHostByte(static_cast<int>(index + 1), static_cast<uint8_t>(xproto::CMD_XWRITE ^ command));
      EXPECT_EQ(Write(op, data), 0);
      EXPECT_EQ(talker->FaultOutcome(), Outcome::CommandRejected);
      EXPECT_EQ(talker->FaultAddress(), op.address + block * xproto::kRun);
      EXPECT_EQ(device->HostBytes().size(), index + 1);
      device->Run(1.0);
      EXPECT_EQ(machine().Crash(), "");
      // The talker's own bytes are as it was downloaded.
      for (unsigned a = xproto::kSignatureAddress; a < xproto::kSignatureAddress + xproto::kSignatureSize;
           ++a)
        EXPECT_EQ(machine().Peek(static_cast<uint16_t>(a)), loader[a]) << a;
      const Bytes holds = Holds(op);
      const size_t written = block * xproto::kRun;
      EXPECT_TRUE(std::equal(data.begin(), data.begin() + static_cast<long>(written), holds.begin()));
      EXPECT_TRUE(std::all_of(holds.begin() + static_cast<long>(written), holds.end(),
                              [](uint8_t b) { return b == 0xFF; }));
      ExpectWayBack(op, data);
    }
  }
}

// ---- noise over a whole write ----

class CheckedNoiseTest : public CheckedRig, public ::testing::WithParamInterface<Operation> {};

TEST_P(CheckedNoiseTest, EndsInTheExactDataOrAFault) {
  const Operation op = GetParam();
  const Bytes data = Pattern(op.size, 65);
  Measure(op, data);
  // About one and a half bytes hit, either way: some writes get over them
  // with a block sent again, some have a block hit twice.
  const double rate = 1.5 / static_cast<double>(device->HostLog().size() + device->TargetLog().size());
  int runsHit = 0;
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE(seed);
    Fresh(op);
    device->SetRandomCorruption(rate, seed);
    const int result = Write(op, data);
    size_t hit = 0;
    for (const auto& f : device->HostLog()) hit += f.onWire != f.byte;
    for (const auto& f : device->TargetLog()) hit += f.heard != f.byte;
    runsHit += hit > 0;
    if (result == 1) {
      EXPECT_EQ(Holds(op), data);
      EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);
    } else {
      EXPECT_GT(hit, 0u);
      EXPECT_NE(talker->FaultOutcome(), Outcome::Ok);
    }
    EXPECT_EQ(machine().Crash(), "");
    EXPECT_FALSE(gaveUp);
    ExpectWayBack(op, data);
  }
  EXPECT_GT(runsHit, 0);
}

INSTANTIATE_TEST_SUITE_P(Line, CheckedNoiseTest, ::testing::ValuesIn(kOperations),
                         [](const ::testing::TestParamInfo<Operation>& info) { return info.param.name; });

// ---- the controller stalls or the line goes ----

enum class Gone { Stall, HangUp };

class CheckedLineGoneTest : public CheckedRig,
                            public ::testing::WithParamInterface<std::tuple<Operation, Gone, bool>> {};

TEST_P(CheckedLineGoneTest, WriteFailsAndBootLoadRecovers) {
  const Operation op = std::get<0>(GetParam());
  const Gone gone = std::get<1>(GetParam());
  const bool lastBlock = std::get<2>(GetParam());
  const Bytes data = Pattern(op.size, 66);
  const Layout at = Measure(op, data);
  const size_t blocks = op.size / xproto::kRun;
  const size_t block = lastBlock ? blocks - 1 : 0;
  // Inside the block's frame.
  const size_t index = at.host + block * kHostPerBlock + 60;

  Fresh(op);
  double stalledAt = -1;
  if (gone == Gone::Stall) {
    AtHostByte(index, [&] {
      stalledAt = device->Now();
      device->Stall();
    });
  } else {
    device->HangUpAfterHostBytes(index);
  }
  EXPECT_EQ(Write(op, data), 0);
  EXPECT_NE(talker->FaultOutcome(), Outcome::Ok);
  EXPECT_EQ(talker->FaultAddress(), op.address + block * xproto::kRun);
  if (gone == Gone::HangUp) {
    EXPECT_EQ(talker->FaultOutcome(), Outcome::LinkLost);
  }
  EXPECT_EQ(machine().Crash(), "");
  // The host ended the write itself, and soon: a flash block's answer is
  // due within tens of milliseconds, an EEPROM block's within 128 cells of
  // two pulses.
  EXPECT_FALSE(gaveUp);
  if (gone == Gone::Stall) {
    ASSERT_GE(stalledAt, 0);
    EXPECT_LT(device->Now() - stalledAt, IsEeprom(op) ? 15.0 : 4.0);
  }
  // Nothing past the failed block was written.
  const Bytes holds = Holds(op);
  for (size_t i = (block + 1) * xproto::kRun; i < op.size; ++i) ASSERT_EQ(holds[i], 0xFF) << i;

  ExpectWayBack(op, data);
}

INSTANTIATE_TEST_SUITE_P(Line, CheckedLineGoneTest,
                         ::testing::Combine(::testing::ValuesIn(kOperations),
                                            ::testing::Values(Gone::Stall, Gone::HangUp), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Operation, Gone, bool>>& info) {
                           return TestName(
                               std::string(std::get<0>(info.param).name) +
                               (std::get<1>(info.param) == Gone::Stall ? "_stall" : "_hang_up") +
                               (std::get<2>(info.param) ? "_in_the_last_block" : "_in_the_first_block"));
                         });

// ---- Flash Controller: what the user is told ----

class CheckedFlashJobTest : public CheckedRig {
 protected:
  OpResult Flash(const Bytes& program) {
    FlashJob job;
    std::istringstream records(SRecords(program, 0x8000));
    job.image.ReadSRecordStream(records);
    job.options.start = 0x8000;
    job.options.finish = static_cast<unsigned>(0x8000 + program.size() - 1);
    job.options.noPrompt = true;
    job.options.verify = true;
    shell.statusTexts.clear();
    OpResult result;
    EXPECT_EQ(ExecuteFlash(*talker, job, &result), 1);
    return result;
  }
  const Operation op{"WriteFlash", FlashChip::Kind::Am29F010, 0x8000, 384};
  CMainFrame frame;  // where the status texts go
};

TEST_F(CheckedFlashJobTest, ASpoiledFrameIsWrittenCorrectlyAStallIsAFailedWrite) {
  const Bytes program = Pattern(op.size, 67);
  Fresh(op);
  ASSERT_TRUE(Flash(program).Ok());
  const size_t blocks = op.size / xproto::kRun;
  const size_t first = device->HostBytes().size() - blocks * kHostPerBlock;
  ASSERT_EQ(device->HostBytes()[first], xproto::CMD_XWRITE);

  Fresh(op);
  device->SpoilHostByte(static_cast<int>(first + kHostPerBlock + 70), 0x04);
  const OpResult spoiled = Flash(program);
  EXPECT_TRUE(spoiled.Ok()) << OutcomeName(spoiled.outcome);
  EXPECT_TRUE(shell.SawStatus("Memory written correctly"));
  EXPECT_FALSE(shell.SawStatus("Memory written Failed!!!"));
  EXPECT_TRUE(std::equal(program.begin(), program.end(), flash().begin() + 0x8000));

  Fresh(op);
  AtHostByte(first + kHostPerBlock + 70, [this] { device->Stall(); });
  const OpResult stalled = Flash(program);
  EXPECT_FALSE(stalled.Ok());
  EXPECT_EQ(stalled.address, 0x8080u);
  EXPECT_EQ(shell.LastStatus(), "Memory written Failed!!!");
  EXPECT_FALSE(shell.SawStatus("Memory written correctly"));
  EXPECT_FALSE(gaveUp);
  EXPECT_EQ(machine().Crash(), "");
}

// ---- checked block reads ----

class CheckedReadFaultTest : public ChipReadRig {
 protected:
  CheckedReadFaultTest() : ChipReadRig(68) {}
  int Read() {
    return ReadChip([this](CProgrammer& image) {
      return ReadRange(*talker, 0x8000, image, static_cast<unsigned>(chip.size() - 1));
    });
  }
  // Block reads the host asked for (no other byte it sends here is 0x23).
  size_t BlockReads() {
    const Bytes host = device->HostBytes();
    return static_cast<size_t>(std::count(host.begin(), host.end(), xproto::CMD_XREAD));
  }
  // Four blocks of 256: from the host the command, count and address;
  // from the talker the complement, the bytes and the CRC.
  static constexpr size_t kHostPerRead = 4;
  static constexpr size_t kTalkerPerRead = 1 + 256 + 2;
};

TEST_F(CheckedReadFaultTest, SpoiledOrLostBytesAreReadAgain) {
  ASSERT_EQ(Read(), 1);
  ASSERT_EQ(BlockReads(), 4u) << "not the checked read";
  ASSERT_EQ(device->HostBytes().size(), 4 * kHostPerRead);
  ASSERT_EQ(device->TargetBytes().size(), 4 * kTalkerPerRead);
  struct Case {
    const char* what;
    std::function<void()> inject;
  } cases[] = {
      {"command lost", [this] { device->DropHostBytes(1, kHostPerRead); }},
      {"count lost", [this] { device->DropHostBytes(1, 1); }},
      {"address lost", [this] { device->DropHostBytes(1, 3 * kHostPerRead + 3); }},
      {"count spoiled", [this] { device->SpoilHostByte(kHostPerRead + 2, 0x40); }},
      {"address spoiled", [this] { device->SpoilHostByte(2 * kHostPerRead + 4, 0x01); }},
      {"complement spoiled", [this] { device->SpoilTargetByte(1, 0x10); }},
      {"data spoiled", [this] { device->SpoilTargetByte(kTalkerPerRead + 100, 0x01); }},
      {"CRC spoiled", [this] { device->SpoilTargetByte(4 * kTalkerPerRead, 0x80); }},
      {"data lost", [this] { device->DropTargetBytes(1, kTalkerPerRead + 100); }},
      {"CRC lost", [this] { device->DropTargetBytes(1, 2 * kTalkerPerRead - 1); }},
      {"complement lost", [this] { device->DropTargetBytes(1, 3 * kTalkerPerRead); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Boot();
    c.inject();
    EXPECT_EQ(Read(), 1) << OutcomeName(talker->FaultOutcome());
    EXPECT_EQ(BlockReads(), 5u) << "one block read again";
    EXPECT_FALSE(gaveUp);
    EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);
  }
}

TEST_F(CheckedReadFaultTest, StalledOrHungUpReadFailsAndBootLoadRecovers) {
  AtHostByte(kHostPerRead + 2, [this] { device->Stall(); });
  EXPECT_EQ(Read(), 0);
  // The read waits, as the standard read does, until the user gives up.
  EXPECT_TRUE(gaveUp);
  EXPECT_EQ(machine().Crash(), "");
  device->Replug();
  Boot();
  device->HangUpAfterHostBytes(2 * kHostPerRead + 1);
  EXPECT_EQ(Read(), 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::LinkLost);
  EXPECT_EQ(talker->FaultAddress(), 0x8200u);
  device->Replug();
  Boot();
  EXPECT_EQ(Read(), 1);
  EXPECT_EQ(BlockReads(), 4u);
}

TEST_F(CheckedReadFaultTest, NoiseEndsInTheBytesOrAFault) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE(seed);
    Boot();
    device->SetRandomCorruption(4.0 / (4 * (kHostPerRead + kTalkerPerRead)), seed);
    const int result = Read();
    EXPECT_NE(result, -1);
    if (result == 0) {
      EXPECT_NE(talker->FaultOutcome(), Outcome::Ok);
    }
    EXPECT_EQ(machine().Crash(), "");
    device->SetRandomCorruption(0, 0);
  }
}

}  // namespace
