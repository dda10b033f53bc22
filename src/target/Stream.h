// The extended protocol of our own talker (firmware/talker): a signature
// block at a fixed address says that the talker offers it, and a block read
// that ends in a CRC-16 of its header and bytes.  Nothing here is ever sent to
// a talker that has not announced the extension: unknown talkers get the
// standard protocol only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
// Block read: count (0 = 256), address high, address low; the answer is the
// complement, the bytes, then the CRC-16 of the three header bytes and the bytes.
constexpr uint8_t CMD_XREAD = 0x23;
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

// The extension is to be used on this talker: it announced it and the user
// did not ask for the standard protocol (settings "Comm", "Standard
// Protocol").  After Force Prog Connection the talker has not been asked
// yet: the first call reads its signature block with a standard read.
bool UseExtension(CTalker& talker);
// The user's choice, from the settings store.
bool StandardProtocolForced();
// "extended protocol" / "standard protocol" for the status bar and the
// command line, from what is known without asking the talker.
std::string ProtocolModeText(const CTalker& talker);

// first .. first + countMinusOne into `programmer` with checked block reads;
// a block whose CRC fails is read again once, and a second failure ends the
// read with Outcome::ReadMismatch at the block's address.  The progress
// window as for CTalker::ReadTargetBlock.  1 on success.
int StreamReadBlock(CTalker& talker, unsigned first, CProgrammer& programmer, unsigned countMinusOne,
                    const std::string& label, Transfer transfer);
// The read every data-moving operation uses: checked blocks when the
// extension is in use, the standard read otherwise.
int ReadRange(CTalker& talker, unsigned first, CProgrammer& programmer, unsigned countMinusOne,
              const std::string& label = "Reading Memory", Transfer transfer = Transfer::Read);
