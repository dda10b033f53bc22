#include "sim/PtyLine.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// <sys/ioctl.h> drags in the C library's termios types, which clash with the
// kernel's termios2; the prototype is all that is needed here.
extern "C" int ioctl(int fd, unsigned long request, ...);

int PtyHostBaud(int masterFd) {
  struct termios2 tio;
  if (ioctl(masterFd, TCGETS2, &tio) != 0) return 0;
  return static_cast<int>(tio.c_ospeed);
}

// The table code of a standard rate, or BOTHER.  A standard rate is set by
// its code: wine (keston-cli.exe on a COM port mapped to the pseudo-terminal)
// reads the line settings with the old termios calls, which fail on a line
// whose rate was set as BOTHER.
static unsigned RateCode(int baud) {
  static const struct {
    int baud;
    unsigned code;
  } kRates[] = {{50, B50},       {75, B75},       {110, B110},     {134, B134},       {150, B150},
                {200, B200},     {300, B300},     {600, B600},     {1200, B1200},     {1800, B1800},
                {2400, B2400},   {4800, B4800},   {9600, B9600},   {19200, B19200},   {38400, B38400},
                {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}};
  for (const auto& r : kRates)
    if (r.baud == baud) return r.code;
  return BOTHER;
}

bool PtySetRawBaud(int fd, int baud) {
  struct termios2 tio;
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  tio.c_oflag &= ~OPOST;
  tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~(CSIZE | PARENB | CBAUD | CIBAUD);
  const unsigned code = RateCode(baud);
  tio.c_cflag |= CS8 | CREAD | CLOCAL | code | (code << IBSHIFT);
  tio.c_ispeed = static_cast<speed_t>(baud);
  tio.c_ospeed = static_cast<speed_t>(baud);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

int PtyOpenMaster(int baud, std::string& slavePath, std::string& error) {
  int fd = posix_openpt(O_RDWR | O_NOCTTY);
  if (fd < 0) {
    error = std::string("cannot open a pseudo-terminal: ") + strerror(errno);
    return -1;
  }
  char name[128];
  if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
    error = std::string("cannot unlock the pseudo-terminal: ") + strerror(errno);
    close(fd);
    return -1;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
    error = std::string("cannot configure the pseudo-terminal: ") + strerror(errno);
    close(fd);
    return -1;
  }
  if (!PtySetRawBaud(fd, baud)) {
    error = std::string("cannot set the line's mode: ") + strerror(errno);
    close(fd);
    return -1;
  }
  slavePath = name;
  return fd;
}
