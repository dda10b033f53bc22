// The M68HC11 opcode maps: mnemonic, addressing mode, length and E-cycle
// count of every opcode on the four pages (no prebyte, 0x18, 0x1A, 0xCD).
// One table serves the executor (cycle counts, legality), the disassembler
// and the console's trace, so they can never disagree with each other.
#pragma once

#include <cstdint>
#include <string>

namespace hc11 {

enum class Mode : uint8_t {
  None,    // not an instruction on this page: the illegal-opcode trap
  Inh,     // inherent
  Imm8,    // #ii
  Imm16,   // #jjkk
  Dir,     // dd
  Ext,     // hhll
  Idx,     // ff,X (ff,Y on the 0x18 and 0xCD pages)
  Rel,     // rr
  BitDir,  // dd mm          (BSET/BCLR)
  BitIdx,  // ff mm
  BrDir,   // dd mm rr       (BRSET/BRCLR)
  BrIdx,   // ff mm rr
};

struct OpInfo {
  const char* mnemonic = nullptr;  // lower case, as the binutils disassembler writes it
  Mode mode = Mode::None;
  uint8_t cycles = 0;   // E cycles, prebyte included
  uint8_t length = 0;   // bytes, prebyte included
  bool indexY = false;  // Idx/BitIdx/BrIdx use Y
};

// page: 0 = no prebyte, 1 = 0x18, 2 = 0x1A, 3 = 0xCD.
const OpInfo& Op(int page, uint8_t opcode);

// Page index of a prebyte, or 0 for an ordinary opcode.
inline int PageOf(uint8_t first) { return first == 0x18 ? 1 : first == 0x1A ? 2 : first == 0xCD ? 3 : 0; }

// Decodes the instruction whose bytes start at `bytes` (at least four bytes
// readable) located at `pc`.  Returns its length (1 or 2 for an illegal
// opcode, which decodes as ".byte") and writes the text to `text`.
int Disassemble(const uint8_t* bytes, uint16_t pc, std::string& text);

}  // namespace hc11
