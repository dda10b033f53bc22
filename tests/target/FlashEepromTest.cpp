// The flash chip and the internal EEPROM through the talker.
#include "TargetRig.h"
#include "image/Programmer.h"
#include "link/Link.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"

using Bytes = std::vector<uint8_t>;

namespace {

// Host bytes after the EEPROM switch-off that both flash writers start with.
Bytes AfterEepromOff(const Bytes& host) { return Bytes(host.begin() + 10, host.end()); }

void FillPattern(CProgrammer& p, unsigned from, unsigned count) {
  for (unsigned i = 0; i < count; ++i) p.SetImageByte(from + i, static_cast<uint8_t>(i * 7 + 1));
}

}  // namespace

class FlashEepromTest : public TargetRig {};

TEST_F(FlashEepromTest, WritersCutRangesIntoChunksAndBlocks) {
  // The standard writers' chunks are the subject.
  store.WriteProfileInt("Comm", "Standard Protocol", 1);
  StartTalker();
  CProgrammer p;
  FillPattern(p, 0x8000, 300);
  EXPECT_EQ(WriteFlash(talker(), 0x8000, p, 299, true), 1);
  auto chunks = ParseWriteChunks(AfterEepromOff(sim->HostBytes()));
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].command, 0x71);
  EXPECT_EQ(chunks[0].count, 0);
  EXPECT_EQ(chunks[1].count, 44);
  EXPECT_EQ(chunks[1].address, 0x8100u);
  EXPECT_TRUE(shell.SawStatus("7fff "));
  EXPECT_TRUE(shell.SawStatus("8010 "));
  // Each writer shows its progress window; the byte writer's ends on the last byte.
  EXPECT_EQ(shell.progressUpdates.back().address, "0x812b");
  EXPECT_EQ(shell.progressUpdates.back().label, "Writing Flash");
  EXPECT_EQ(shell.progressClosed, 1);
  for (unsigned i = 0; i < 300; ++i) ASSERT_EQ(sim->Read(0x8000 + i), p.GetImageByte(0x8000 + i)) << i;

  SimOptions block;
  block.chip = SimChip::Block;
  StartTalker(block);
  shell.progressClosed = 0;
  sim->SetConfig(0x8F);  // EEPROM on at 8E00: inside the range being written
  EXPECT_EQ(WriteFlashBlocks(talker(), 0x8000, p, 299, true), 1);
  EXPECT_EQ(sim->Config(), 0x0E);  // switched off first, so the bytes reach the flash
  chunks = ParseWriteChunks(AfterEepromOff(sim->HostBytes()));
  ASSERT_EQ(chunks.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(chunks[i].count, 64);
  EXPECT_EQ(chunks[4].count, 44);
  EXPECT_EQ(chunks[4].address, 0x8100u);
  EXPECT_TRUE(shell.SawStatus("7fff"));
  EXPECT_EQ(shell.progressUpdates.back().address, "0x812c");
  EXPECT_EQ(shell.progressUpdates.back().label, "Writing Flash");
  EXPECT_EQ(shell.progressClosed, 1);
  for (unsigned i = 0; i < 300; ++i) ASSERT_EQ(sim->Read(0x8000 + i), p.GetImageByte(0x8000 + i)) << i;
}

TEST_F(FlashEepromTest, UnwrittenAddressesAreSkippedAtEveryChunkStart) {
  // The standard writers' chunks are the subject.
  store.WriteProfileInt("Comm", "Standard Protocol", 1);
  StartTalker();
  CProgrammer p;
  for (unsigned a = 0x8000; a < 0x8258; ++a) p.m_written[a] = (a < 0x8100 || a >= 0x8110) ? 1 : 0;
  EXPECT_EQ(WriteFlash(talker(), 0x8000, p, 0x257, false), 1);
  auto chunks = ParseWriteChunks(AfterEepromOff(sim->HostBytes()));
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[1].address, 0x8110u);
  EXPECT_EQ(chunks[2].address, 0x8210u);
  EXPECT_EQ(chunks[2].count, 0x48);

  // Nothing loaded: only the last byte of the range is programmed, by the
  // block writer of the chip that takes blocks.
  SimOptions block;
  block.chip = SimChip::Block;
  StartTalker(block);
  p.ClearWritten();
  EXPECT_EQ(WriteFlashBlocks(talker(), 0x9000, p, 0xFF, false), 1);
  chunks = ParseWriteChunks(AfterEepromOff(sim->HostBytes()));
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0].count, 1);
  EXPECT_EQ(chunks[0].address, 0x90FFu);
}

TEST_F(FlashEepromTest, EraseDependsOnTheChip) {
  SimOptions amd;
  amd.eraseTimeMs = 50;
  StartTalker(amd);
  sim->LoadFlash(Bytes(0x100, 0x00), 0x8000);
  shell.boxAnswers = {IDCANCEL};
  CProgrammer p;
  EXPECT_EQ(EraseFlash(talker()), 0);
  EXPECT_TRUE(sim->HostBytes().empty());
  EXPECT_EQ(shell.boxes.size(), 1u);

  EXPECT_EQ(EraseFlash(talker()), 1);
  EXPECT_EQ(shell.statusTexts,
            (std::vector<std::string>{"M 1 CH 20", "Erasing AMD29F010", "AMD chip is erased! "}));
  EXPECT_EQ(sim->Read(0x8000), 0xFF);

  SimOptions block;
  block.chip = SimChip::Block;
  StartTalker(block);
  sim->LoadFlash(Bytes(0x100, 0x00), 0x8000);
  EXPECT_EQ(EraseFlash(talker()), 1);
  EXPECT_EQ(shell.LastStatus(), "Can't Erase, Flash EEPROM ");
  EXPECT_TRUE(shell.SawStatus("M bf CH 7"));
  EXPECT_EQ(sim->Read(0x8000), 0x00);

  // An unacknowledged identification is taken for the erasable chip; this one refuses.
  sim->WrongComplementNextCommand();
  EXPECT_EQ(EraseFlash(talker()), 0);
  EXPECT_TRUE(shell.SawStatus("M 0 CH 0"));
  EXPECT_EQ(shell.boxes.back().text, "AMD Erase Failed!");
}

TEST_F(FlashEepromTest, SingleEepromBytesFollowTheProgrammingSequence) {
  StartTalker();
  sim->SetConfig(0x0F);
  EXPECT_EQ(WriteEepromByte(talker(), 0xBE10, 0x55), 1);
  EXPECT_EQ(sim->Config(), 0xBF);
  EXPECT_EQ(sim->Eeprom()[0x10], 0x55);
  EXPECT_EQ(sim->Read(0xBE10), 0x55);
  EXPECT_TRUE(shell.SawStatus("be10 55"));
  EXPECT_EQ(RegisterWrites(sim->HostBytes(), 0x103B), (Bytes{0x16, 0x17, 0x00, 0x02, 0x03, 0x00}));

  // 0x00 needs no erase, 0xFF no programming.
  sim->ClearTrace();
  EXPECT_EQ(WriteEepromByte(talker(), 0xBE11, 0x00), 1);
  EXPECT_EQ(RegisterWrites(sim->HostBytes(), 0x103B), (Bytes{0x02, 0x03, 0x00}));
  sim->ClearTrace();
  EXPECT_EQ(WriteEepromByte(talker(), 0xBE10, 0xFF), 1);
  EXPECT_EQ(RegisterWrites(sim->HostBytes(), 0x103B), (Bytes{0x16, 0x17, 0x00}));
  EXPECT_EQ(sim->Eeprom()[0x10], 0xFF);
  EXPECT_EQ(sim->Eeprom()[0x11], 0x00);

  // Outside the window of its page: CONFIG and BPROT change, the EEPROM does not.
  sim->ClearTrace();
  Bytes before = sim->Eeprom();
  EXPECT_EQ(WriteEepromByte(talker(), 0xB600, 0x12), 0);
  EXPECT_EQ(sim->Config() & 0xF1, 0xB1);
  EXPECT_EQ(sim->Read(0x1035), 0x00);
  EXPECT_TRUE(RegisterWrites(sim->HostBytes(), 0x103B).empty());
  EXPECT_EQ(sim->Eeprom(), before);
}

TEST_F(FlashEepromTest, EepromBlockStopsAt512Bytes) {
  store.WriteProfileInt("Comm", "Standard Protocol", 1);  // the trace is read as 0x31 chunks
  SimOptions fast;
  fast.eepromWriteMs = 1;
  StartTalker(fast);
  CProgrammer p;
  FillPattern(p, 0xBE00, 0x400);
  EXPECT_EQ(WriteEepromBlock(talker(), 0xBE00, p, 0x3FF), 1);
  Bytes host = sim->HostBytes();
  auto chunks = ParseWriteChunks(Bytes(host.begin() + 15, host.end()));
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].command, 0x31);
  EXPECT_EQ(chunks[1].address, 0xBF00u);
  for (unsigned i = 0; i < 0x200; ++i) ASSERT_EQ(sim->Eeprom()[i], p.GetImageByte(0xBE00 + i)) << i;
}

TEST_F(FlashEepromTest, ClearProcessorBulkErases) {
  StartTalker();
  sim->SetEeprom(Bytes(0x200, 0x3C));
  sim->SetConfig(0x0D);
  // One click asks first; Cancel sends nothing.
  shell.boxAnswers = {IDCANCEL};
  view->OnClearProcessor();
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Erase EEPROM and CONFIG?");
  EXPECT_EQ(shell.boxes[0].type & MB_BUTTONMASK, MB_OKCANCEL);
  EXPECT_TRUE(sim->HostBytes().empty());
  EXPECT_EQ(sim->Eeprom(), Bytes(0x200, 0x3C));
  EXPECT_EQ(view->m_lastResult.outcome, Outcome::Cancelled);

  view->OnClearProcessor();  // OK
  EXPECT_EQ(sim->Eeprom(), Bytes(0x200, 0xFF));
  EXPECT_EQ(sim->ConfigCell(), 0xFF);
  EXPECT_EQ(shell.LastStatus(), "68HC11 is erased!");
  EXPECT_EQ(shell.boxes.size(), 2u);
  EXPECT_TRUE(view->m_lastResult.Ok());

  view->OnDisconnect();
  view->OnClearProcessor();
  ASSERT_EQ(shell.boxes.size(), 3u);
  EXPECT_EQ(shell.boxes[2].text, "Failed\n Controller not connected");
}
