// The extended protocol of our own talker (firmware/talker): a signature
// block at a fixed address says that the talker offers it, a block read that
// ends in a CRC-16 of its header and bytes, and a block write whose frame
// ends in a CRC-16 and whose answer carries the CRC-16 of the bytes read back.  Nothing here is ever sent to
// a talker that has not announced the extension: unknown talkers get the
// standard protocol only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "target/Outcome.h"
#include "target/Talker.h"
#include "target/ProgressDlg.h"

class CProgrammer;

namespace xproto {
// Where the talker keeps its signature block, and how long it is.
constexpr unsigned kSignatureAddress = 0x0002;
constexpr unsigned kSignatureSize = 10;
// The protocol version this host speaks.
constexpr uint8_t kVersion = 1;
// Capability bits of the signature block.
constexpr uint8_t kCapBlockRead = 0x01;
constexpr uint8_t kCapBlockWrite = 0x02;
constexpr uint8_t kCapRateSwitch = 0x04;
// Block read: count (0 = 256), address high, address low; the answer is the
// complement, the bytes, then the CRC-16 of the three header bytes and the bytes.
constexpr uint8_t CMD_XREAD = 0x23;
// Block write: the command byte, answered with its complement; then the
// frame: count (1..128), address high, address low, kind, the whole 128-byte
// run that holds the block (from address & ~0x7F), and the CRC-16 of all
// that.  The answer: a status byte and the CRC-16, starting from 0, of the
// block's bytes as the talker reads them back.
constexpr uint8_t CMD_XWRITE = 0x24;
constexpr unsigned kRun = 128;
constexpr size_t kWriteFrameSize = 4 + kRun + 2;
enum class BlockKind : uint8_t {
  Store = 0,     // ordinary stores (as 0x41)
  Am29F010 = 1,  // programmed byte by byte (as 0x71)
  Sst = 2,       // merged into its page, which is written whole (as 0x51)
  Eeprom = 3,    // the internal EEPROM (as 0x31)
};
// Status byte of a block write's answer.
constexpr uint8_t kWriteOk = 0;
constexpr uint8_t kWriteCrcBad = 1;  // the frame was spoiled: nothing was written
constexpr uint8_t kWriteFailed = 2;  // the SST page did not write or read back
// Rate switch: the command byte, answered with its complement; the BAUD
// register value v, echoed at the old rate, after which the talker's SCI
// runs at v.  At the new rate: the host sends ~v, the talker answers ~v, the
// host confirms with v.  A wrong byte or a quarter of a second without one
// puts the talker back at its old rate.
constexpr uint8_t CMD_XRATE = 0x25;
// Where the SCI's BAUD register is (registers at 0x1000, as out of reset).
constexpr unsigned kBaudRegister = 0x102B;
}  // namespace xproto

// CRC-16 with the polynomial 0x1021, most significant bit first, starting at
// `crc` (0xFFFF for a new frame), no final inversion: the talker's.
uint16_t Crc16(const uint8_t* data, size_t n, uint16_t crc = 0xFFFF);

// Reads a signature block: the marker "KESTON", a protocol version this host
// speaks, a byte sum of 0 and a block read among the capabilities.  false
// (and `out` not present) for anything else.
bool ParseSignature(const uint8_t* bytes, size_t n, TalkerExtension& out);
// The signature block of a loader image, when the loader holds one where the
// talker keeps it.
bool SignatureInLoader(const CProgrammer& loader, TalkerExtension& out);

// Checks the answer to a block read of `count` bytes (1..256) from `address`:
// `answer` holds the bytes followed by the two CRC bytes.
bool BlockReadAnswerGood(unsigned address, unsigned count, const uint8_t* answer, size_t n);

// The frame of a block write after its command byte: `count` bytes (1..128,
// all in one 128-byte run) from `address`, the run's other bytes 0xFF.
std::vector<uint8_t> BlockWriteFrame(unsigned address, unsigned count, xproto::BlockKind kind,
                                     const std::function<uint8_t(unsigned)>& source);
// The CRC a talker answers for a block that holds `data` afterwards.
uint16_t BlockWriteAnswerCrc(const uint8_t* data, size_t n);

// The extension is to be used on this talker: it announced it and the user
// did not ask for the standard protocol (settings "Comm", "Standard
// Protocol").  After Force Prog Connection the talker has not been asked
// yet: the first call reads its signature block with a standard read.
bool UseExtension(CTalker& talker);
// The user's choice, from the settings store.
bool StandardProtocolForced();
// What is known without asking the talker: it will be spoken to in checked
// blocks, and (with `caps`) offers those capabilities too.
bool CheckedBlocksKnown(const CTalker& talker, uint8_t caps = xproto::kCapBlockRead);
// "extended protocol" / "standard protocol" for the status bar and the
// command line, from what is known without asking the talker.
std::string ProtocolModeText(const CTalker& talker);
// The same in a word or two for the status bar: "checked", "standard",
// "standard (chosen)", or "" while it is not known yet.
std::string ProtocolModeShort(const CTalker& talker);

// first .. first + countMinusOne into `programmer` with checked block reads;
// a block whose CRC fails is read again once, and a second failure ends the
// read with Outcome::ReadMismatch at the block's address.  The progress
// window as for CTalker::ReadTargetBlock.  1 on success.
int StreamReadBlock(CTalker& talker, unsigned first, CProgrammer& programmer, unsigned countMinusOne,
                    const std::string& label, Transfer transfer);
// The checked block write is to be used: the extension is (UseExtension)
// and the talker announced the block write.
bool UseBlockWrite(CTalker& talker);

// first .. first + countMinusOne written with checked block writes of
// `kind`, each inside one 128-byte run, bytes from `source`.  When `skip` is
// given, a block starts past the addresses it names (but always holds at
// least one byte), as the byte writers pass over what a file did not cover.
// `done` is told the address after each block written.  A block whose
// answer is wrong (spoiled on the line, not written, read back otherwise) is
// written again once; a second failure ends the write with
// Outcome::EchoMismatch at the block's address.  1 on success.
int StreamWriteRange(CTalker& talker, unsigned first, unsigned countMinusOne, xproto::BlockKind kind,
                     const std::function<uint8_t(unsigned)>& source,
                     const std::function<bool(unsigned)>& skip = std::function<bool(unsigned)>(),
                     const std::function<void(unsigned)>& done = std::function<void(unsigned)>());

// The BAUD register value that makes `rate` on an SCI that runs at
// `normalRate` with the value `normalValue` (SCP1:SCP0 prescaler 1, 3, 4 or
// 13, SCR divider 1 to 128): the nearest rate within 2.5 %; -1 when none is.
int BaudValueFor(int rate, int normalRate, uint8_t normalValue);

// The rate the user wants after a download ("Comm", "Fast Baud"; 0: none).
int FastBaudSetting();

// Moves our talker and the port to `rate` with the rate switch, and proves
// the new rate with a checked read of the signature block.  1 when both run
// at `rate`; 0 when both stay at (or came back to) the rate they had, with
// the reason in `why`; -1 when the talker no longer answers at either rate
// (the fault is noted: boot it again).
int SwitchRate(CTalker& talker, int rate, std::string& why);

// Before the port is let go or another run of the program takes over: a
// talker moved to a faster rate goes back to the normal one, where the next
// connection looks for it.  Nothing happens when the rate was not switched.
void ReturnToNormalRate(CTalker& talker);

// The read every data-moving operation uses: checked blocks when the
// extension is in use, the standard read otherwise.
int ReadRange(CTalker& talker, unsigned first, CProgrammer& programmer, unsigned countMinusOne,
              const std::string& label = "Reading Memory", Transfer transfer = Transfer::Read);
