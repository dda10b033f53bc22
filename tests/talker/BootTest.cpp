#include "TalkerRig.h"
#include "board.h"
#include "talker_symbols.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"

namespace {

class BootTest : public TalkerRig {};

TEST_F(BootTest, BootsAndAnswersFirstContact) {
  Start();
  Boot();
  EXPECT_EQ(Reg(hc11::Machine::HPRIO), talker_board::HPRIO_VALUE);
  uint8_t hprio = 0;
  ASSERT_EQ(talker->ReadTargetByte(REG_HPRIO, hprio), 1);
  EXPECT_EQ(hprio, talker_board::HPRIO_VALUE);
}

}  // namespace
