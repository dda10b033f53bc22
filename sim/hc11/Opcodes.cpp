#include "sim/hc11/Opcodes.h"

#include <array>
#include <cstdio>

namespace hc11 {
namespace {

struct Entry {
  int page;
  uint8_t opcode;
  const char* mnemonic;
  Mode mode;
  uint8_t cycles;
};

using M = Mode;

// Cycle counts from the M68HC11 Reference Manual, instruction set table
// (cycles column); lengths follow from the addressing mode and the prebyte.
constexpr Entry kEntries[] = {
    // ---- page 1: inherent and control ----
    {0, 0x00, "test", M::Inh, 0},  // runs until reset; special modes only
    {0, 0x01, "nop", M::Inh, 2},
    {0, 0x02, "idiv", M::Inh, 41},
    {0, 0x03, "fdiv", M::Inh, 41},
    {0, 0x04, "lsrd", M::Inh, 3},
    {0, 0x05, "asld", M::Inh, 3},
    {0, 0x06, "tap", M::Inh, 2},
    {0, 0x07, "tpa", M::Inh, 2},
    {0, 0x08, "inx", M::Inh, 3},
    {0, 0x09, "dex", M::Inh, 3},
    {0, 0x0A, "clv", M::Inh, 2},
    {0, 0x0B, "sev", M::Inh, 2},
    {0, 0x0C, "clc", M::Inh, 2},
    {0, 0x0D, "sec", M::Inh, 2},
    {0, 0x0E, "cli", M::Inh, 2},
    {0, 0x0F, "sei", M::Inh, 2},
    {0, 0x10, "sba", M::Inh, 2},
    {0, 0x11, "cba", M::Inh, 2},
    {0, 0x12, "brset", M::BrDir, 6},
    {0, 0x13, "brclr", M::BrDir, 6},
    {0, 0x14, "bset", M::BitDir, 6},
    {0, 0x15, "bclr", M::BitDir, 6},
    {0, 0x16, "tab", M::Inh, 2},
    {0, 0x17, "tba", M::Inh, 2},
    {0, 0x19, "daa", M::Inh, 2},
    {0, 0x1B, "aba", M::Inh, 2},
    {0, 0x1C, "bset", M::BitIdx, 7},
    {0, 0x1D, "bclr", M::BitIdx, 7},
    {0, 0x1E, "brset", M::BrIdx, 7},
    {0, 0x1F, "brclr", M::BrIdx, 7},
    {0, 0x20, "bra", M::Rel, 3},
    {0, 0x21, "brn", M::Rel, 3},
    {0, 0x22, "bhi", M::Rel, 3},
    {0, 0x23, "bls", M::Rel, 3},
    {0, 0x24, "bcc", M::Rel, 3},
    {0, 0x25, "bcs", M::Rel, 3},
    {0, 0x26, "bne", M::Rel, 3},
    {0, 0x27, "beq", M::Rel, 3},
    {0, 0x28, "bvc", M::Rel, 3},
    {0, 0x29, "bvs", M::Rel, 3},
    {0, 0x2A, "bpl", M::Rel, 3},
    {0, 0x2B, "bmi", M::Rel, 3},
    {0, 0x2C, "bge", M::Rel, 3},
    {0, 0x2D, "blt", M::Rel, 3},
    {0, 0x2E, "bgt", M::Rel, 3},
    {0, 0x2F, "ble", M::Rel, 3},
    {0, 0x30, "tsx", M::Inh, 3},
    {0, 0x31, "ins", M::Inh, 3},
    {0, 0x32, "pula", M::Inh, 4},
    {0, 0x33, "pulb", M::Inh, 4},
    {0, 0x34, "des", M::Inh, 3},
    {0, 0x35, "txs", M::Inh, 3},
    {0, 0x36, "psha", M::Inh, 3},
    {0, 0x37, "pshb", M::Inh, 3},
    {0, 0x38, "pulx", M::Inh, 5},
    {0, 0x39, "rts", M::Inh, 5},
    {0, 0x3A, "abx", M::Inh, 3},
    {0, 0x3B, "rti", M::Inh, 12},
    {0, 0x3C, "pshx", M::Inh, 4},
    {0, 0x3D, "mul", M::Inh, 10},
    {0, 0x3E, "wai", M::Inh, 14},
    {0, 0x3F, "swi", M::Inh, 14},
    // ---- page 1: accumulator read-modify-write ----
    {0, 0x40, "nega", M::Inh, 2},
    {0, 0x43, "coma", M::Inh, 2},
    {0, 0x44, "lsra", M::Inh, 2},
    {0, 0x46, "rora", M::Inh, 2},
    {0, 0x47, "asra", M::Inh, 2},
    {0, 0x48, "asla", M::Inh, 2},
    {0, 0x49, "rola", M::Inh, 2},
    {0, 0x4A, "deca", M::Inh, 2},
    {0, 0x4C, "inca", M::Inh, 2},
    {0, 0x4D, "tsta", M::Inh, 2},
    {0, 0x4F, "clra", M::Inh, 2},
    {0, 0x50, "negb", M::Inh, 2},
    {0, 0x53, "comb", M::Inh, 2},
    {0, 0x54, "lsrb", M::Inh, 2},
    {0, 0x56, "rorb", M::Inh, 2},
    {0, 0x57, "asrb", M::Inh, 2},
    {0, 0x58, "aslb", M::Inh, 2},
    {0, 0x59, "rolb", M::Inh, 2},
    {0, 0x5A, "decb", M::Inh, 2},
    {0, 0x5C, "incb", M::Inh, 2},
    {0, 0x5D, "tstb", M::Inh, 2},
    {0, 0x5F, "clrb", M::Inh, 2},
    // ---- page 1: memory read-modify-write ----
    {0, 0x60, "neg", M::Idx, 6},
    {0, 0x63, "com", M::Idx, 6},
    {0, 0x64, "lsr", M::Idx, 6},
    {0, 0x66, "ror", M::Idx, 6},
    {0, 0x67, "asr", M::Idx, 6},
    {0, 0x68, "asl", M::Idx, 6},
    {0, 0x69, "rol", M::Idx, 6},
    {0, 0x6A, "dec", M::Idx, 6},
    {0, 0x6C, "inc", M::Idx, 6},
    {0, 0x6D, "tst", M::Idx, 6},
    {0, 0x6E, "jmp", M::Idx, 3},
    {0, 0x6F, "clr", M::Idx, 6},
    {0, 0x70, "neg", M::Ext, 6},
    {0, 0x73, "com", M::Ext, 6},
    {0, 0x74, "lsr", M::Ext, 6},
    {0, 0x76, "ror", M::Ext, 6},
    {0, 0x77, "asr", M::Ext, 6},
    {0, 0x78, "asl", M::Ext, 6},
    {0, 0x79, "rol", M::Ext, 6},
    {0, 0x7A, "dec", M::Ext, 6},
    {0, 0x7C, "inc", M::Ext, 6},
    {0, 0x7D, "tst", M::Ext, 6},
    {0, 0x7E, "jmp", M::Ext, 3},
    {0, 0x7F, "clr", M::Ext, 6},
    // ---- page 1: accumulator A, 16-bit, X, S ----
    {0, 0x80, "suba", M::Imm8, 2},
    {0, 0x81, "cmpa", M::Imm8, 2},
    {0, 0x82, "sbca", M::Imm8, 2},
    {0, 0x83, "subd", M::Imm16, 4},
    {0, 0x84, "anda", M::Imm8, 2},
    {0, 0x85, "bita", M::Imm8, 2},
    {0, 0x86, "ldaa", M::Imm8, 2},
    {0, 0x88, "eora", M::Imm8, 2},
    {0, 0x89, "adca", M::Imm8, 2},
    {0, 0x8A, "oraa", M::Imm8, 2},
    {0, 0x8B, "adda", M::Imm8, 2},
    {0, 0x8C, "cpx", M::Imm16, 4},
    {0, 0x8D, "bsr", M::Rel, 6},
    {0, 0x8E, "lds", M::Imm16, 3},
    {0, 0x8F, "xgdx", M::Inh, 3},
    {0, 0x90, "suba", M::Dir, 3},
    {0, 0x91, "cmpa", M::Dir, 3},
    {0, 0x92, "sbca", M::Dir, 3},
    {0, 0x93, "subd", M::Dir, 5},
    {0, 0x94, "anda", M::Dir, 3},
    {0, 0x95, "bita", M::Dir, 3},
    {0, 0x96, "ldaa", M::Dir, 3},
    {0, 0x97, "staa", M::Dir, 3},
    {0, 0x98, "eora", M::Dir, 3},
    {0, 0x99, "adca", M::Dir, 3},
    {0, 0x9A, "oraa", M::Dir, 3},
    {0, 0x9B, "adda", M::Dir, 3},
    {0, 0x9C, "cpx", M::Dir, 5},
    {0, 0x9D, "jsr", M::Dir, 5},
    {0, 0x9E, "lds", M::Dir, 4},
    {0, 0x9F, "sts", M::Dir, 4},
    {0, 0xA0, "suba", M::Idx, 4},
    {0, 0xA1, "cmpa", M::Idx, 4},
    {0, 0xA2, "sbca", M::Idx, 4},
    {0, 0xA3, "subd", M::Idx, 6},
    {0, 0xA4, "anda", M::Idx, 4},
    {0, 0xA5, "bita", M::Idx, 4},
    {0, 0xA6, "ldaa", M::Idx, 4},
    {0, 0xA7, "staa", M::Idx, 4},
    {0, 0xA8, "eora", M::Idx, 4},
    {0, 0xA9, "adca", M::Idx, 4},
    {0, 0xAA, "oraa", M::Idx, 4},
    {0, 0xAB, "adda", M::Idx, 4},
    {0, 0xAC, "cpx", M::Idx, 6},
    {0, 0xAD, "jsr", M::Idx, 6},
    {0, 0xAE, "lds", M::Idx, 5},
    {0, 0xAF, "sts", M::Idx, 5},
    {0, 0xB0, "suba", M::Ext, 4},
    {0, 0xB1, "cmpa", M::Ext, 4},
    {0, 0xB2, "sbca", M::Ext, 4},
    {0, 0xB3, "subd", M::Ext, 6},
    {0, 0xB4, "anda", M::Ext, 4},
    {0, 0xB5, "bita", M::Ext, 4},
    {0, 0xB6, "ldaa", M::Ext, 4},
    {0, 0xB7, "staa", M::Ext, 4},
    {0, 0xB8, "eora", M::Ext, 4},
    {0, 0xB9, "adca", M::Ext, 4},
    {0, 0xBA, "oraa", M::Ext, 4},
    {0, 0xBB, "adda", M::Ext, 4},
    {0, 0xBC, "cpx", M::Ext, 6},
    {0, 0xBD, "jsr", M::Ext, 6},
    {0, 0xBE, "lds", M::Ext, 5},
    {0, 0xBF, "sts", M::Ext, 5},
    // ---- page 1: accumulator B, D, X ----
    {0, 0xC0, "subb", M::Imm8, 2},
    {0, 0xC1, "cmpb", M::Imm8, 2},
    {0, 0xC2, "sbcb", M::Imm8, 2},
    {0, 0xC3, "addd", M::Imm16, 4},
    {0, 0xC4, "andb", M::Imm8, 2},
    {0, 0xC5, "bitb", M::Imm8, 2},
    {0, 0xC6, "ldab", M::Imm8, 2},
    {0, 0xC8, "eorb", M::Imm8, 2},
    {0, 0xC9, "adcb", M::Imm8, 2},
    {0, 0xCA, "orab", M::Imm8, 2},
    {0, 0xCB, "addb", M::Imm8, 2},
    {0, 0xCC, "ldd", M::Imm16, 3},
    {0, 0xCE, "ldx", M::Imm16, 3},
    {0, 0xCF, "stop", M::Inh, 2},
    {0, 0xD0, "subb", M::Dir, 3},
    {0, 0xD1, "cmpb", M::Dir, 3},
    {0, 0xD2, "sbcb", M::Dir, 3},
    {0, 0xD3, "addd", M::Dir, 5},
    {0, 0xD4, "andb", M::Dir, 3},
    {0, 0xD5, "bitb", M::Dir, 3},
    {0, 0xD6, "ldab", M::Dir, 3},
    {0, 0xD7, "stab", M::Dir, 3},
    {0, 0xD8, "eorb", M::Dir, 3},
    {0, 0xD9, "adcb", M::Dir, 3},
    {0, 0xDA, "orab", M::Dir, 3},
    {0, 0xDB, "addb", M::Dir, 3},
    {0, 0xDC, "ldd", M::Dir, 4},
    {0, 0xDD, "std", M::Dir, 4},
    {0, 0xDE, "ldx", M::Dir, 4},
    {0, 0xDF, "stx", M::Dir, 4},
    {0, 0xE0, "subb", M::Idx, 4},
    {0, 0xE1, "cmpb", M::Idx, 4},
    {0, 0xE2, "sbcb", M::Idx, 4},
    {0, 0xE3, "addd", M::Idx, 6},
    {0, 0xE4, "andb", M::Idx, 4},
    {0, 0xE5, "bitb", M::Idx, 4},
    {0, 0xE6, "ldab", M::Idx, 4},
    {0, 0xE7, "stab", M::Idx, 4},
    {0, 0xE8, "eorb", M::Idx, 4},
    {0, 0xE9, "adcb", M::Idx, 4},
    {0, 0xEA, "orab", M::Idx, 4},
    {0, 0xEB, "addb", M::Idx, 4},
    {0, 0xEC, "ldd", M::Idx, 5},
    {0, 0xED, "std", M::Idx, 5},
    {0, 0xEE, "ldx", M::Idx, 5},
    {0, 0xEF, "stx", M::Idx, 5},
    {0, 0xF0, "subb", M::Ext, 4},
    {0, 0xF1, "cmpb", M::Ext, 4},
    {0, 0xF2, "sbcb", M::Ext, 4},
    {0, 0xF3, "addd", M::Ext, 6},
    {0, 0xF4, "andb", M::Ext, 4},
    {0, 0xF5, "bitb", M::Ext, 4},
    {0, 0xF6, "ldab", M::Ext, 4},
    {0, 0xF7, "stab", M::Ext, 4},
    {0, 0xF8, "eorb", M::Ext, 4},
    {0, 0xF9, "adcb", M::Ext, 4},
    {0, 0xFA, "orab", M::Ext, 4},
    {0, 0xFB, "addb", M::Ext, 4},
    {0, 0xFC, "ldd", M::Ext, 5},
    {0, 0xFD, "std", M::Ext, 5},
    {0, 0xFE, "ldx", M::Ext, 5},
    {0, 0xFF, "stx", M::Ext, 5},
    // ---- page 2 (prebyte 0x18): Y in place of X ----
    {1, 0x08, "iny", M::Inh, 4},
    {1, 0x09, "dey", M::Inh, 4},
    {1, 0x1C, "bset", M::BitIdx, 8},
    {1, 0x1D, "bclr", M::BitIdx, 8},
    {1, 0x1E, "brset", M::BrIdx, 8},
    {1, 0x1F, "brclr", M::BrIdx, 8},
    {1, 0x30, "tsy", M::Inh, 4},
    {1, 0x35, "tys", M::Inh, 4},
    {1, 0x38, "puly", M::Inh, 6},
    {1, 0x3A, "aby", M::Inh, 4},
    {1, 0x3C, "pshy", M::Inh, 5},
    {1, 0x60, "neg", M::Idx, 7},
    {1, 0x63, "com", M::Idx, 7},
    {1, 0x64, "lsr", M::Idx, 7},
    {1, 0x66, "ror", M::Idx, 7},
    {1, 0x67, "asr", M::Idx, 7},
    {1, 0x68, "asl", M::Idx, 7},
    {1, 0x69, "rol", M::Idx, 7},
    {1, 0x6A, "dec", M::Idx, 7},
    {1, 0x6C, "inc", M::Idx, 7},
    {1, 0x6D, "tst", M::Idx, 7},
    {1, 0x6E, "jmp", M::Idx, 4},
    {1, 0x6F, "clr", M::Idx, 7},
    {1, 0x8C, "cpy", M::Imm16, 5},
    {1, 0x8F, "xgdy", M::Inh, 4},
    {1, 0x9C, "cpy", M::Dir, 6},
    {1, 0xA0, "suba", M::Idx, 5},
    {1, 0xA1, "cmpa", M::Idx, 5},
    {1, 0xA2, "sbca", M::Idx, 5},
    {1, 0xA3, "subd", M::Idx, 7},
    {1, 0xA4, "anda", M::Idx, 5},
    {1, 0xA5, "bita", M::Idx, 5},
    {1, 0xA6, "ldaa", M::Idx, 5},
    {1, 0xA7, "staa", M::Idx, 5},
    {1, 0xA8, "eora", M::Idx, 5},
    {1, 0xA9, "adca", M::Idx, 5},
    {1, 0xAA, "oraa", M::Idx, 5},
    {1, 0xAB, "adda", M::Idx, 5},
    {1, 0xAC, "cpy", M::Idx, 7},
    {1, 0xAD, "jsr", M::Idx, 7},
    {1, 0xAE, "lds", M::Idx, 6},
    {1, 0xAF, "sts", M::Idx, 6},
    {1, 0xBC, "cpy", M::Ext, 7},
    {1, 0xCE, "ldy", M::Imm16, 4},
    {1, 0xDE, "ldy", M::Dir, 5},
    {1, 0xDF, "sty", M::Dir, 5},
    {1, 0xE0, "subb", M::Idx, 5},
    {1, 0xE1, "cmpb", M::Idx, 5},
    {1, 0xE2, "sbcb", M::Idx, 5},
    {1, 0xE3, "addd", M::Idx, 7},
    {1, 0xE4, "andb", M::Idx, 5},
    {1, 0xE5, "bitb", M::Idx, 5},
    {1, 0xE6, "ldab", M::Idx, 5},
    {1, 0xE7, "stab", M::Idx, 5},
    {1, 0xE8, "eorb", M::Idx, 5},
    {1, 0xE9, "adcb", M::Idx, 5},
    {1, 0xEA, "orab", M::Idx, 5},
    {1, 0xEB, "addb", M::Idx, 5},
    {1, 0xEC, "ldd", M::Idx, 6},
    {1, 0xED, "std", M::Idx, 6},
    {1, 0xEE, "ldy", M::Idx, 6},
    {1, 0xEF, "sty", M::Idx, 6},
    {1, 0xFE, "ldy", M::Ext, 6},
    {1, 0xFF, "sty", M::Ext, 6},
    // ---- page 3 (prebyte 0x1A): CPD, and Y loaded through X ----
    {2, 0x83, "cpd", M::Imm16, 5},
    {2, 0x93, "cpd", M::Dir, 6},
    {2, 0xA3, "cpd", M::Idx, 7},
    {2, 0xAC, "cpy", M::Idx, 7},
    {2, 0xB3, "cpd", M::Ext, 7},
    {2, 0xEE, "ldy", M::Idx, 6},
    {2, 0xEF, "sty", M::Idx, 6},
    // ---- page 4 (prebyte 0xCD): X and D through Y ----
    {3, 0xA3, "cpd", M::Idx, 7},
    {3, 0xAC, "cpx", M::Idx, 7},
    {3, 0xEE, "ldx", M::Idx, 6},
    {3, 0xEF, "stx", M::Idx, 6},
};

int OperandBytes(Mode mode) {
  switch (mode) {
    case M::Imm8:
    case M::Dir:
    case M::Idx:
    case M::Rel:
      return 1;
    case M::Imm16:
    case M::Ext:
    case M::BitDir:
    case M::BitIdx:
      return 2;
    case M::BrDir:
    case M::BrIdx:
      return 3;
    default:
      return 0;
  }
}

struct Tables {
  std::array<std::array<OpInfo, 256>, 4> pages;
  Tables() {
    for (const Entry& e : kEntries) {
      OpInfo& info = pages[e.page][e.opcode];
      info.mnemonic = e.mnemonic;
      info.mode = e.mode;
      info.cycles = e.cycles;
      info.length = static_cast<uint8_t>(1 + (e.page ? 1 : 0) + OperandBytes(e.mode));
      info.indexY = e.page == 1 || e.page == 3;
    }
  }
};

const Tables& GetTables() {
  static const Tables tables;
  return tables;
}

}  // namespace

const OpInfo& Op(int page, uint8_t opcode) { return GetTables().pages[page & 3][opcode]; }

int Disassemble(const uint8_t* bytes, uint16_t pc, std::string& text) {
  int page = PageOf(bytes[0]);
  int at = page ? 1 : 0;
  const OpInfo& op = Op(page, bytes[at]);
  char buffer[80];
  if (op.mode == Mode::None) {
    if (page)
      std::snprintf(buffer, sizeof buffer, ".byte 0x%02x, 0x%02x", bytes[0], bytes[1]);
    else
      std::snprintf(buffer, sizeof buffer, ".byte 0x%02x", bytes[0]);
    text = buffer;
    return page ? 2 : 1;
  }
  const uint8_t* o = bytes + at + 1;
  const char* ix = op.indexY ? "y" : "x";
  auto rel = [&](int8_t offset) { return static_cast<uint16_t>(pc + op.length + offset); };
  switch (op.mode) {
    case Mode::Inh:
      std::snprintf(buffer, sizeof buffer, "%s", op.mnemonic);
      break;
    case Mode::Imm8:
      std::snprintf(buffer, sizeof buffer, "%s #0x%02x", op.mnemonic, o[0]);
      break;
    case Mode::Imm16:
      std::snprintf(buffer, sizeof buffer, "%s #0x%04x", op.mnemonic, (o[0] << 8) | o[1]);
      break;
    case Mode::Dir:
      std::snprintf(buffer, sizeof buffer, "%s *0x%02x", op.mnemonic, o[0]);
      break;
    case Mode::Ext:
      std::snprintf(buffer, sizeof buffer, "%s 0x%04x", op.mnemonic, (o[0] << 8) | o[1]);
      break;
    case Mode::Idx:
      std::snprintf(buffer, sizeof buffer, "%s 0x%x,%s", op.mnemonic, o[0], ix);
      break;
    case Mode::Rel:
      std::snprintf(buffer, sizeof buffer, "%s 0x%04x", op.mnemonic, rel(static_cast<int8_t>(o[0])));
      break;
    case Mode::BitDir:
      std::snprintf(buffer, sizeof buffer, "%s *0x%02x, #0x%02x", op.mnemonic, o[0], o[1]);
      break;
    case Mode::BitIdx:
      std::snprintf(buffer, sizeof buffer, "%s 0x%x,%s, #0x%02x", op.mnemonic, o[0], ix, o[1]);
      break;
    case Mode::BrDir:
      std::snprintf(buffer, sizeof buffer, "%s *0x%02x, #0x%02x, 0x%04x", op.mnemonic, o[0], o[1],
                    rel(static_cast<int8_t>(o[2])));
      break;
    case Mode::BrIdx:
      std::snprintf(buffer, sizeof buffer, "%s 0x%x,%s, #0x%02x, 0x%04x", op.mnemonic, o[0], ix, o[1],
                    rel(static_cast<int8_t>(o[2])));
      break;
    case Mode::None:
      break;
  }
  text = buffer;
  return op.length;
}

}  // namespace hc11
