// E cycles of every opcode against the reference manual's instruction set
// table, written here by instruction and addressing mode as the manual
// lists them: opcode (with its prebyte) / cycles, in the order immediate,
// direct, indexed X, extended, indexed Y where they exist.  Every opcode
// not in the table must take the illegal-opcode trap.
#include <map>
#include <sstream>

#include "Harness.h"
#include "sim/hc11/Opcodes.h"

namespace {

const char* const kManual[] = {
    "aba 1B/2",
    "abx 3A/3",
    "aby 183A/4",
    "adca 89/2 99/3 A9/4 B9/4 18A9/5",
    "adcb C9/2 D9/3 E9/4 F9/4 18E9/5",
    "adda 8B/2 9B/3 AB/4 BB/4 18AB/5",
    "addb CB/2 DB/3 EB/4 FB/4 18EB/5",
    "addd C3/4 D3/5 E3/6 F3/6 18E3/7",
    "anda 84/2 94/3 A4/4 B4/4 18A4/5",
    "andb C4/2 D4/3 E4/4 F4/4 18E4/5",
    "asl 68/6 78/6 1868/7",
    "asla 48/2",
    "aslb 58/2",
    "asld 05/3",
    "asr 67/6 77/6 1867/7",
    "asra 47/2",
    "asrb 57/2",
    "bcc 24/3",
    "bclr 15/6 1D/7 181D/8",
    "bcs 25/3",
    "beq 27/3",
    "bge 2C/3",
    "bgt 2E/3",
    "bhi 22/3",
    "bita 85/2 95/3 A5/4 B5/4 18A5/5",
    "bitb C5/2 D5/3 E5/4 F5/4 18E5/5",
    "ble 2F/3",
    "bls 23/3",
    "blt 2D/3",
    "bmi 2B/3",
    "bne 26/3",
    "bpl 2A/3",
    "bra 20/3",
    "brclr 13/6 1F/7 181F/8",
    "brn 21/3",
    "brset 12/6 1E/7 181E/8",
    "bset 14/6 1C/7 181C/8",
    "bsr 8D/6",
    "bvc 28/3",
    "bvs 29/3",
    "cba 11/2",
    "clc 0C/2",
    "cli 0E/2",
    "clr 6F/6 7F/6 186F/7",
    "clra 4F/2",
    "clrb 5F/2",
    "clv 0A/2",
    "cmpa 81/2 91/3 A1/4 B1/4 18A1/5",
    "cmpb C1/2 D1/3 E1/4 F1/4 18E1/5",
    "com 63/6 73/6 1863/7",
    "coma 43/2",
    "comb 53/2",
    "cpd 1A83/5 1A93/6 1AA3/7 1AB3/7 CDA3/7",
    "cpx 8C/4 9C/5 AC/6 BC/6 CDAC/7",
    "cpy 188C/5 189C/6 1AAC/7 18BC/7 18AC/7",
    "daa 19/2",
    "dec 6A/6 7A/6 186A/7",
    "deca 4A/2",
    "decb 5A/2",
    "des 34/3",
    "dex 09/3",
    "dey 1809/4",
    "eora 88/2 98/3 A8/4 B8/4 18A8/5",
    "eorb C8/2 D8/3 E8/4 F8/4 18E8/5",
    "fdiv 03/41",
    "idiv 02/41",
    "inc 6C/6 7C/6 186C/7",
    "inca 4C/2",
    "incb 5C/2",
    "ins 31/3",
    "inx 08/3",
    "iny 1808/4",
    "jmp 6E/3 7E/3 186E/4",
    "jsr 9D/5 AD/6 BD/6 18AD/7",
    "ldaa 86/2 96/3 A6/4 B6/4 18A6/5",
    "ldab C6/2 D6/3 E6/4 F6/4 18E6/5",
    "ldd CC/3 DC/4 EC/5 FC/5 18EC/6",
    "lds 8E/3 9E/4 AE/5 BE/5 18AE/6",
    "ldx CE/3 DE/4 EE/5 FE/5 CDEE/6",
    "ldy 18CE/4 18DE/5 1AEE/6 18FE/6 18EE/6",
    "lsr 64/6 74/6 1864/7",
    "lsra 44/2",
    "lsrb 54/2",
    "lsrd 04/3",
    "mul 3D/10",
    "neg 60/6 70/6 1860/7",
    "nega 40/2",
    "negb 50/2",
    "nop 01/2",
    "oraa 8A/2 9A/3 AA/4 BA/4 18AA/5",
    "orab CA/2 DA/3 EA/4 FA/4 18EA/5",
    "psha 36/3",
    "pshb 37/3",
    "pshx 3C/4",
    "pshy 183C/5",
    "pula 32/4",
    "pulb 33/4",
    "pulx 38/5",
    "puly 1838/6",
    "rol 69/6 79/6 1869/7",
    "rola 49/2",
    "rolb 59/2",
    "ror 66/6 76/6 1866/7",
    "rora 46/2",
    "rorb 56/2",
    "rti 3B/12",
    "rts 39/5",
    "sba 10/2",
    "sbca 82/2 92/3 A2/4 B2/4 18A2/5",
    "sbcb C2/2 D2/3 E2/4 F2/4 18E2/5",
    "sec 0D/2",
    "sei 0F/2",
    "sev 0B/2",
    "staa 97/3 A7/4 B7/4 18A7/5",
    "stab D7/3 E7/4 F7/4 18E7/5",
    "std DD/4 ED/5 FD/5 18ED/6",
    "stop CF/2",
    "sts 9F/4 AF/5 BF/5 18AF/6",
    "stx DF/4 EF/5 FF/5 CDEF/6",
    "sty 18DF/5 1AEF/6 18FF/6 18EF/6",
    "suba 80/2 90/3 A0/4 B0/4 18A0/5",
    "subb C0/2 D0/3 E0/4 F0/4 18E0/5",
    "subd 83/4 93/5 A3/6 B3/6 18A3/7",
    "swi 3F/14",
    "tab 16/2",
    "tap 06/2",
    "tba 17/2",
    "tpa 07/2",
    "tst 6D/6 7D/6 186D/7",
    "tsta 4D/2",
    "tstb 5D/2",
    "tsx 30/3",
    "tsy 1830/4",
    "txs 35/3",
    "tys 1835/4",
    "wai 3E/14",
    "xgdx 8F/3",
    "xgdy 188F/4",
};

struct Expected {
  std::string mnemonic;
  unsigned cycles;
};

// (page << 8 | opcode) -> what the manual says
std::map<unsigned, Expected> ManualTable() {
  std::map<unsigned, Expected> table;
  for (const char* row : kManual) {
    std::istringstream in(row);
    std::string mnemonic, cell;
    in >> mnemonic;
    while (in >> cell) {
      auto slash = cell.find('/');
      std::string code = cell.substr(0, slash);
      unsigned cycles = static_cast<unsigned>(std::stoul(cell.substr(slash + 1)));
      unsigned page = 0, op = static_cast<unsigned>(std::stoul(code.substr(code.size() - 2), nullptr, 16));
      if (code.size() == 4)
        page = static_cast<unsigned>(
            hc11::PageOf(static_cast<uint8_t>(std::stoul(code.substr(0, 2), nullptr, 16))));
      EXPECT_TRUE(table.emplace(page << 8 | op, Expected{mnemonic, cycles}).second) << "twice: " << cell;
    }
  }
  return table;
}

const uint8_t kPrebyte[4] = {0, 0x18, 0x1A, 0xCD};

// Executes one instruction from RAM at 0x0100 with harmless operands and
// returns the cycles it took (and whether it trapped).
unsigned Execute(hc11::Machine& m, unsigned page, unsigned op, bool& trapped) {
  m.Reset(hc11::McuMode::Bootstrap);
  uint16_t at = 0x0100;
  if (page) m.Ram()[at++] = kPrebyte[page];
  m.Ram()[at++] = static_cast<uint8_t>(op);
  // direct 0x00, extended 0x0050, index offset 0; bit mask 0x50; branch +0
  m.Ram()[at++] = 0x00;
  m.Ram()[at++] = 0x50;
  m.Ram()[at++] = 0x00;
  auto& r = m.GetCpu().Regs();
  r.pc = 0x0100;
  r.x = r.y = 0x0200;
  r.sp = 0x03F0;
  r.a = 0x01;
  r.b = 0x01;
  unsigned traps = m.GetStats().illegalOpcodes;
  unsigned cycles = m.GetCpu().Step();
  trapped = m.GetStats().illegalOpcodes != traps;
  return cycles;
}

}  // namespace

TEST(Cycles, EveryOpcodeTakesTheManualsCycles) {
  auto table = ManualTable();
  hc11::Machine m{hc11::MachineOptions()};
  unsigned legal = 0;
  for (unsigned page = 0; page < 4; ++page) {
    for (unsigned op = 0; op < 256; ++op) {
      if (page == 0 && (op == 0x18 || op == 0x1A || op == 0xCD)) continue;  // prebytes
      if (page == 0 && op == 0x00) continue;  // TEST: runs until reset, no count
      bool trapped = false;
      unsigned cycles = Execute(m, page, op, trapped);
      auto it = table.find(page << 8 | op);
      const hc11::OpInfo& info = hc11::Op(static_cast<int>(page), static_cast<uint8_t>(op));
      if (it == table.end()) {
        EXPECT_TRUE(trapped) << "page " << page << " opcode " << std::hex << op << " should be illegal";
        continue;
      }
      ++legal;
      EXPECT_FALSE(trapped) << it->second.mnemonic;
      EXPECT_EQ(cycles, it->second.cycles)
          << it->second.mnemonic << " page " << page << " opcode " << std::hex << op;
      ASSERT_NE(info.mnemonic, nullptr);
      EXPECT_EQ(it->second.mnemonic, info.mnemonic) << std::hex << op;
    }
  }
  EXPECT_EQ(legal, table.size());  // every row of the manual was met
}
