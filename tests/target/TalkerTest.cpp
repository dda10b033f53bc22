// The talker primitives on the wire of the virtual controller.
#include <functional>
#include <numeric>

#include "TargetRig.h"
#include "image/Programmer.h"
#include "link/ByteFifo.h"
#include "link/Link.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "target/Talker.h"
#include "sim/SimDevice.h"
#include "sim/hc11/CpuDevice.h"

using Bytes = std::vector<uint8_t>;

class TalkerTest : public TargetRig {
 protected:
  // RAM that neither the model nor our talker uses between commands (our
  // talker's page buffer).
  static constexpr unsigned kScratch = 0x0374;
  // Seconds of line time of the in-process controller, model or CPU.
  double LineTime() {
    if (sim->Device()) return sim->Device()->Now();
    if (sim->Cpu()) return sim->Cpu()->Now();
    ADD_FAILURE() << "no in-process controller";
    return 0;
  }
};

TEST_F(TalkerTest, SingleByteWriteAndReadOnTheWire) {
  StartTalker();
  EXPECT_EQ(talker().WriteTargetByte(0x103B, 0x02), 1);
  EXPECT_EQ(sim->HostBytes(), (Bytes{0x41, 0x01, 0x10, 0x3B, 0x02}));
  EXPECT_EQ(sim->TargetBytes(), (Bytes{0xBE, 0x02}));

  sim->ClearTrace();
  sim->SetConfig(0x0D);
  uint8_t value = 0x77;
  EXPECT_EQ(talker().ReadTargetByte(0x103F, value), 1);
  EXPECT_EQ(value, 0x0D);
  EXPECT_EQ(HostBytesOnceAtLeast(5), (Bytes{0x01, 0x01, 0x10, 0x3F, 0x77}));
  EXPECT_EQ(shell.LastStatus(), "103f d");

  // A stray byte from an earlier exchange must not pass for the complement.
  link().Queue().PutByte(0xFE);
  EXPECT_EQ(talker().ReadTargetByte(0x103F, value), 1);
  EXPECT_EQ(value, 0x0D);
}

TEST_F(TalkerTest, BlockWriteChunksAndKeepsGoingAfterFaults) {
  StartTalker();
  Bytes data(257);
  std::iota(data.begin(), data.end(), 3);
  EXPECT_EQ(talker().WriteTargetBlock(0x0100, data.data(), 256), 1);
  auto chunks = ParseWriteChunks(sim->HostBytes());
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].count, 0);
  EXPECT_EQ(chunks[0].address, 0x0100u);
  EXPECT_EQ(chunks[1].count, 1);
  EXPECT_EQ(chunks[1].address, 0x0200u);
  for (unsigned i = 0; i < 257; ++i) ASSERT_EQ(sim->Read(0x100 + i), data[i]) << i;

  // A wrong complement or a wrong echo fails the write, but every byte still goes out.
  sim->ClearTrace();
  sim->WrongComplementNextCommand();
  EXPECT_EQ(talker().WriteTargetBlock(0x0300, data.data() + 100, 9), 0);
  EXPECT_EQ(ParseWriteChunks(sim->HostBytes()).size(), 1u);
  EXPECT_EQ(sim->Read(0x0309), data[109]);
  sim->ClearTrace();
  sim->CorruptEcho(5);
  EXPECT_EQ(talker().WriteTargetBlock(0x0300, data.data(), 19), 0);
  EXPECT_EQ(sim->HostBytes().size(), 4u + 20u);
  EXPECT_EQ(talker().WriteTargetBlock(0x0300, data.data(), 19), 1);

  // A range running past 0xFFFF would wrap onto RAM and registers: refused unsent.
  sim->ClearTrace();
  CProgrammer p;
  EXPECT_EQ(talker().WriteTargetBlock(0xFF00, data.data(), 0x1FF), 0);
  EXPECT_EQ(WriteFlash(talker(), 0xFFF0, p, 0x1F, true), 0);
  EXPECT_EQ(talker().ReadTargetBlock(0x8000, p, 0xFFFFFFFFu), 0);
  EXPECT_TRUE(sim->HostBytes().empty());
}

TEST_F(TalkerTest, BlockReadAcknowledgesOneByteAhead) {
  StartTalker();
  sim->LoadFlash({0x11, 0x22, 0x33}, 0x8000);
  CProgrammer programmer;
  programmer.SetImageByte(0x8001, 0x77);
  programmer.SetImageByte(0x8002, 0x55);
  // The first acknowledgement echoes the first byte; each later one goes out
  // as the byte before it arrives, carrying what the image held there.
  EXPECT_EQ(talker().ReadTargetBlock(0x8000, programmer, 2), 1);
  EXPECT_EQ(HostBytesOnceAtLeast(7), (Bytes{0x01, 0x03, 0x80, 0x00, 0x11, 0x77, 0x55}));
  EXPECT_EQ(sim->TargetBytes(), (Bytes{0xFE, 0x11, 0x22, 0x33}));
  EXPECT_EQ(programmer.GetImageByte(0x8000), 0x11);
  EXPECT_EQ(programmer.GetImageByte(0x8001), 0x22);
  EXPECT_EQ(programmer.GetImageByte(0x8002), 0x33);
  ASSERT_FALSE(shell.progressUpdates.empty());
  EXPECT_EQ(shell.progressUpdates.back().address, "0x8002");
  EXPECT_EQ(shell.progressUpdates.back().value, "0x33");
  EXPECT_EQ(shell.progressUpdates.back().label, "Reading Memory");
  EXPECT_EQ(shell.progressOpened, 1);
  EXPECT_EQ(shell.progressClosed, 1);
}

// In line time (the in-process controller counts ten bit times a byte each
// way), a write whose next byte waits for both echoes of a pair idles the
// line a character every two bytes: 1.5 characters a byte.  With the next
// byte out as soon as the oldest echo is in, a long transfer costs one
// character a byte plus the few at its ends.
TEST_F(TalkerTest, TransfersKeepTheLineBusy) {
  // The standard writers' pacing is the subject; our talker's checked block
  // write has a bench of its own (bench/talker).
  store.WriteProfileInt("Comm", "Standard Protocol", 1);
  StartTalker();
  const double character = 10.0 / link().m_settings.normalBaud;
  auto characters = [&](const std::function<int()>& transfer) {
    const double start = LineTime();
    EXPECT_EQ(transfer(), 1);
    return (LineTime() - start) / character;
  };
  // Memory write into RAM both controllers leave free: 4 header bytes, 128
  // data bytes, the last echo's trip back.
  Bytes data(128);
  std::iota(data.begin(), data.end(), 0x40);
  EXPECT_LT(characters([&] { return talker().WriteTargetBlock(kScratch, data.data(), 127); }), 4 + 128 + 6);
  for (unsigned i = 0; i < 128; ++i) ASSERT_EQ(sim->Read(kScratch + i), data[i]) << i;

  // Flash write: two single bytes at every chunk's end, still far below 1.5 a byte.
  CProgrammer p;
  for (unsigned i = 0; i < 1024; ++i) p.SetImageByte(0x8000 + i, static_cast<uint8_t>(i * 7));
  const double flash = characters([&] { return WriteFlash(talker(), 0x8000, p, 1023, true); });
  EXPECT_LT(flash, 1.12 * 1024);
  for (unsigned i = 0; i < 1024; ++i) ASSERT_EQ(sim->Read(0x8000 + i), static_cast<uint8_t>(i * 7)) << i;

  // Read: one acknowledgement ahead keeps the talker sending back to back.
  CProgrammer back;
  EXPECT_LT(characters([&] { return talker().ReadTargetBlock(0x8000, back, 1023); }), 1.05 * 1024);
  for (unsigned i = 0; i < 1024; ++i) ASSERT_EQ(back.GetImageByte(0x8000 + i), static_cast<uint8_t>(i * 7)) << i;
}

// Behind a USB adapter with a 16 ms latency timer the echoes come in
// batches: with two bytes out at the most, every two bytes cost a tick.
TEST_F(TalkerTest, AdapterLatencyCostsATickPerTwoBytes) {
  SimOptions options;
  options.adapterLatencyMs = 16;
  StartTalker(options);
  Bytes data(64);
  std::iota(data.begin(), data.end(), 1);
  const double start = LineTime();
  EXPECT_EQ(talker().WriteTargetBlock(kScratch, data.data(), 63), 1);
  const double ticks = (LineTime() - start) / 0.016;
  EXPECT_GE(ticks, 32);
  EXPECT_LE(ticks, 36);
}

TEST_F(TalkerTest, NothingIsSentOrAwaitedWithoutALink) {
  StartTalker();
  view->ClosePort();
  sim->ClearTrace();
  EXPECT_EQ(talker().SendByte(0x41), 0);
  // Bytes that arrived before the link went are still handed out, then 0 at once.
  link().Queue().PutByte(0x5A);
  EXPECT_EQ(talker().ReceiveByte(), 0x5A);
  uint8_t byte = 0;
  EXPECT_EQ(talker().ReceiveByteChecked(byte), 0);
  CProgrammer programmer;
  EXPECT_EQ(talker().ReadTargetBlock(0x8000, programmer, 15), 0);
  EXPECT_EQ(shell.progressOpened, 1);
  EXPECT_EQ(shell.progressClosed, 1);
  EXPECT_EQ(talker().WriteTargetByte(0x0100, 1), 0);
  EXPECT_EQ(WriteFlash(talker(), 0x8000, programmer, 15, true), 0);
  EXPECT_TRUE(sim->HostBytes().empty());
}

// A byte that never arrived is not data: every block operation reports a lost
// link as failure, even where a 0x00 echo would have matched or the loop would
// simply have stopped (the plain block write loses it in its last chunk).
TEST_F(TalkerTest, LostLinkFailsEveryBlockOperation) {
  SimOptions paced;
  paced.pace = true;  // slow enough that the hang-up lands mid-transfer
  paced.bootstrapBaud = 115200;
  paced.eepromWriteMs = 1;
  paced.chip = SimChip::Block;
  struct Case {
    const char* name;
    size_t hangUpAt;
    std::function<int(CProgrammer&)> run;
  };
  const Case cases[] = {
      {"WriteTargetBlock", 60,
       [this](CProgrammer& p) { return talker().WriteTargetBlock(0x0100, p.m_image.data() + 0x100, 0xFF); }},
      {"WriteFlash", 70, [this](CProgrammer& p) { return WriteFlash(talker(), 0x8000, p, 0x3FF, true); }},
      {"WriteFlashBlocks", 30, [this](CProgrammer& p) { return WriteFlashBlocks(talker(), 0x8000, p, 0x3FF, true); }},
      {"WriteEepromBlock", 30, [this](CProgrammer& p) { return WriteEepromBlock(talker(), 0x0E00, p, 0xFF); }},
      {"ReadTargetBlock", 60, [this](CProgrammer& p) { return talker().ReadTargetBlock(0x8000, p, 0x3FF); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartTalker(paced);
    sim->LoadFlash(Bytes(0x1000, 0x00), 0x8000);
    sim->SetEeprom(Bytes(0x200, 0x00));
    CProgrammer programmer;
    programmer.FillImage(0x00);
    if (std::string(c.name) == "ReadTargetBlock") programmer.FillImage(0xAA);
    HangUpAfter(c.hangUpAt);
    EXPECT_EQ(c.run(programmer), 0);
    if (std::string(c.name) == "ReadTargetBlock") {
      EXPECT_EQ(programmer.GetImageByte(0x83FF), 0xAA);
    }
    EXPECT_EQ(shell.progressOpened, shell.progressClosed);
  }
}

// Everything above the registers through the flash writer and back, plus
// the chunking of a transfer that spans the whole address space.  On the
// CPU the RAM holds the running talker, the registers are the SCI and chip
// selects it is using, and the talker writes the whole register page
// (0x1000-0x10FF) as internal memory, so the transfer starts above it; the
// model's RAM and registers only answer for themselves on the bus.
TEST_F(TalkerTest, FullAddressSpaceRoundTrip) {
  // The trace is read as standard write chunks.
  store.WriteProfileInt("Comm", "Standard Protocol", 1);
  StartTalker();
  ASSERT_EQ(EepromOff(talker()), 1);
  const unsigned first = RigOnCpu() ? 0x1100 : 0x0000;
  CProgrammer image;
  uint32_t state = 0x2545F491;
  for (unsigned a = 0; a < 0x10000; ++a) {
    state = state * 1664525u + 1013904223u;
    image.SetImageByte(a, static_cast<uint8_t>(state >> 24));
  }
  // Let the image agree with the RAM and registers so that every echo can match.
  for (unsigned a = 0; a < 0x400; ++a) image.SetImageByte(a, sim->Read(a));
  for (unsigned a = 0x1000; a < 0x1040; ++a) image.SetImageByte(a, sim->Read(a));
  sim->ClearTrace();

  EXPECT_EQ(WriteFlash(talker(), first, image, 0xFFFF - first, true), 1);
  Bytes host = sim->HostBytes();
  EXPECT_EQ(ParseWriteChunks(Bytes(host.begin() + 10, host.end())).size(), (0x10000u - first + 255) / 256);
  Bytes flash = sim->Flash();
  EXPECT_TRUE(std::equal(flash.begin() + first, flash.end(), image.m_image.begin() + first));

  CProgrammer back;
  EXPECT_EQ(talker().ReadTargetBlock(first, back, 0xFFFF - first), 1);
  for (unsigned a = first; a < 0x10000; ++a) ASSERT_EQ(back.GetImageByte(a), image.GetImageByte(a)) << a;
}
