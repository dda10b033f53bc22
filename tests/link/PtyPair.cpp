#include "PtyPair.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

PtyPair::PtyPair() {
  m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0) return;
  if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
    ::close(m_master);
    m_master = -1;
    return;
  }
  char name[128];
  if (::ptsname_r(m_master, name, sizeof name) != 0) {
    ::close(m_master);
    m_master = -1;
    return;
  }
  m_slavePath = name;
  // Holding a slave descriptor keeps the master readable between the
  // program's close and reopen of the port.
  m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
}

PtyPair::~PtyPair() {
  if (m_slave >= 0) ::close(m_slave);
  CloseMaster();
}

void PtyPair::CloseMaster() {
  if (m_master >= 0) ::close(m_master);
  m_master = -1;
}

bool PtyPair::ReadLine(LineSettings& s) const {
  struct termios2 t {};
  if (::ioctl(m_master, TCGETS2, &t) != 0) return false;
  s.baud = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      s.dataBits = 5;
      break;
    case CS6:
      s.dataBits = 6;
      break;
    case CS7:
      s.dataBits = 7;
      break;
    default:
      s.dataBits = 8;
      break;
  }
  s.parityOn = t.c_cflag & PARENB;
  s.parityOdd = t.c_cflag & PARODD;
  s.stickParity = t.c_cflag & CMSPAR;
  s.twoStopBits = t.c_cflag & CSTOPB;
  s.rtsCts = t.c_cflag & CRTSCTS;
  s.xonXoff = (t.c_iflag & IXON) && (t.c_iflag & IXOFF);
  s.canonical = t.c_lflag & ICANON;
  s.echo = t.c_lflag & ECHO;
  s.parityCheck = t.c_iflag & INPCK;
  s.xonChar = t.c_cc[VSTART];
  s.xoffChar = t.c_cc[VSTOP];
  return true;
}

bool PtyPair::WriteAll(const std::vector<uint8_t>& bytes) const {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::vector<uint8_t> PtyPair::ReadBytes(size_t count, int timeoutMs) const {
  std::vector<uint8_t> out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    struct pollfd p {
      m_master, POLLIN, 0
    };
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    uint8_t buffer[4096];
    const ssize_t n = ::read(m_master, buffer, std::min(sizeof buffer, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

std::vector<uint8_t> PtyPair::Drain(int timeoutMs) const { return ReadBytes(1 << 20, timeoutMs); }
