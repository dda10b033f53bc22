#include <gtest/gtest.h>

#include "link/TermiosMap.h"

namespace {

struct termios2 Map(const CommState& state) {
  struct termios2 tio {};
  tio.c_lflag = ICANON | ECHO | ISIG;
  tio.c_iflag = ICRNL | ISTRIP | IXANY;
  tio.c_oflag = OPOST;
  tio.c_cflag = B9600 | CS8 | HUPCL;
  std::string why;
  EXPECT_TRUE(BuildTermios(state, tio, why)) << why;
  return tio;
}

}  // namespace

TEST(TermiosMap, FramingParityAndFlowBecomeLineSettings) {
  CommState s;
  s.baudRate = 7815;
  s.byteSize = 7;
  s.parity = serial::kParityEven;
  s.parityCheck = true;
  struct termios2 t = Map(s);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<unsigned>(CS7));
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<unsigned>(PARENB));
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<unsigned>(BOTHER));
  EXPECT_EQ(t.c_ospeed, 7815u);
  EXPECT_EQ(t.c_ispeed, 7815u);
  EXPECT_TRUE(t.c_iflag & INPCK);
  EXPECT_TRUE(t.c_cflag & HUPCL);  // fields we do not decide keep the driver's value
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(t.c_iflag & (ICRNL | ISTRIP | IXANY));
  EXPECT_FALSE(t.c_oflag & OPOST);
  EXPECT_TRUE((t.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD));

  const struct {
    int parity;
    unsigned bits;
  } parities[] = {{serial::kParityNone, 0},
                  {serial::kParityOdd, PARENB | PARODD},
                  {serial::kParityMark, PARENB | PARODD | CMSPAR},
                  {serial::kParitySpace, PARENB | CMSPAR}};
  for (const auto& p : parities) {
    s.parity = p.parity;
    EXPECT_EQ(Map(s).c_cflag & (PARENB | PARODD | CMSPAR), p.bits) << p.parity;
  }

  s = CommState();
  s.stopBits = serial::kStopTwo;
  s.rtsControl = serial::kRtsHandshake;
  s.outxCtsFlow = true;
  s.outX = s.inX = true;
  t = Map(s);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<unsigned>(CS8));
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

TEST(TermiosMap, SettingsLinuxCannotGiveAreRefusedWithTheReason) {
  const struct {
    void (*change)(CommState&);
    const char* reason;
  } refused[] = {
      {[](CommState& s) { s.outxDsrFlow = true; }, "DTR/DSR"},
      {[](CommState& s) { s.dtrControl = serial::kDtrHandshake; }, "DTR/DSR"},
      {[](CommState& s) { s.stopBits = serial::kStopOneHalf; },
       "1.5 stop bits are not available with 8 data bits"},
      {[](CommState& s) { s.baudRate = 0; }, "line rate 0"},
      {[](CommState& s) { s.baudRate = -300; }, "line rate -300"},
      {[](CommState& s) { s.byteSize = 9; }, "9 data bits"},
      {[](CommState& s) { s.parity = 5; }, "parity"},
  };
  for (const auto& r : refused) {
    CommState s;
    r.change(s);
    struct termios2 t {};
    t.c_cflag = CS7;
    std::string why;
    EXPECT_FALSE(BuildTermios(s, t, why)) << r.reason;
    EXPECT_NE(why.find(r.reason), std::string::npos) << why;
    EXPECT_EQ(t.c_cflag, static_cast<unsigned>(CS7));  // refused settings change nothing
  }
  CommState five;
  five.byteSize = 5;
  five.stopBits = serial::kStopOneHalf;
  struct termios2 t {};
  std::string why;
  EXPECT_TRUE(BuildTermios(five, t, why));
  EXPECT_TRUE(t.c_cflag & CSTOPB);
}
