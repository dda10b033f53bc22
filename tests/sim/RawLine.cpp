#include "RawLine.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

extern "C" int ioctl(int fd, unsigned long request, ...);

bool RawLine::Open(const std::string& path, int baud) {
  Close();
  m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (m_fd < 0) return false;
  if (!SetBaud(baud)) {
    Close();
    return false;
  }
  return true;
}

bool RawLine::SetBaud(int baud) {
  struct termios2 tio;
  if (ioctl(m_fd, TCGETS2, &tio) != 0) return false;
  tio.c_iflag = 0;
  tio.c_oflag = 0;
  tio.c_lflag = 0;
  tio.c_cflag = CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = tio.c_ospeed = static_cast<speed_t>(baud);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  return ioctl(m_fd, TCSETS2, &tio) == 0;
}

void RawLine::Close() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

bool RawLine::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) return false;
      pollfd p{m_fd, POLLOUT, 0};
      if (poll(&p, 1, 5000) <= 0) return false;
      continue;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::vector<uint8_t> RawLine::Receive(size_t count, int timeoutMs) {
  std::vector<uint8_t> got;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{m_fd, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0 || !(p.revents & POLLIN)) break;
    uint8_t buffer[4096];
    size_t want = std::min(sizeof buffer, count - got.size());
    ssize_t n = read(m_fd, buffer, want);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

std::vector<uint8_t> RawLine::Drain(int ms) { return Receive(1 << 20, ms); }
