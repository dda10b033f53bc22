#include <asm/termbits.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "link/SerialDevicePosix.h"
#include "link/TermiosMap.h"

namespace {

std::string ErrorText(int error) { return std::strerror(error); }

std::string OwningGroup(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "dialout";
  char buffer[1024];
  struct group grp {};
  struct group* found = nullptr;
  if (getgrgid_r(st.st_gid, &grp, buffer, sizeof buffer, &found) == 0 && found) return found->gr_name;
  return "with id " + std::to_string(st.st_gid);
}

int RetryIoctl(int fd, unsigned long request, void* arg) {
  int r;
  do r = ::ioctl(fd, request, arg);
  while (r < 0 && errno == EINTR);
  return r;
}

}  // namespace

std::unique_ptr<CSerialDevice> MakeSystemSerialDevice() { return std::make_unique<CPosixSerialDevice>(); }

void RaiseCurrentThreadPriority() {
  const pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (errno == 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice - 1);
}

CPosixSerialDevice::~CPosixSerialDevice() { Close(); }

bool CPosixSerialDevice::Open(const std::string& path) {
  Close();
  m_lastError.clear();
  m_lastErrorCode = 0;
  auto fail = [&](int error, const std::string& why) {
    m_lastErrorCode = error;
    m_lastError = "Cannot open " + path + ": " + why;
    return false;
  };
  if (path.empty()) return fail(ENOENT, "no device is set for this port");

  // Non-blocking, so that a port without carrier opens at once and the
  // receive thread's reads never wait; CLOCAL is set by SetCommState.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    switch (error) {
      case EACCES:
      case EPERM:
        return fail(error, "permission denied; the user must be a member of group " + OwningGroup(path) +
                               ", which owns the device");
      case EBUSY:
        return fail(error, "the port is in use by another program");
      case ENOENT:
      case ENXIO:
      case ENODEV:
        return fail(error, "no such device");
      default:
        return fail(error, ErrorText(error));
    }
  }
  // TIOCEXCL keeps other programs out but not root; the lock also stops a
  // second instance of ours, whoever runs it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return fail(error, error == EWOULDBLOCK ? "the port is in use by another program" : ErrorText(error));
  }
  struct termios2 tio {};
  if (RetryIoctl(fd, TCGETS2, &tio) != 0) {
    const int error = errno;
    ::close(fd);
    return fail(error, "not a serial device");
  }
  if (RetryIoctl(fd, TIOCEXCL, nullptr) != 0) {
    const int error = errno;
    ::close(fd);
    return fail(error, ErrorText(error));
  }
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int error = errno;
    RetryIoctl(fd, TIOCNXCL, nullptr);
    ::close(fd);
    return fail(error, ErrorText(error));
  }
  m_fd = fd;
  // Ask the driver to hand over received bytes at once: each echo the host
  // waits for is a round trip, and a held byte stalls the whole transfer.
  struct serial_struct serial {};
  if (RetryIoctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
    const int before = serial.flags;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (RetryIoctl(fd, TIOCSSERIAL, &serial) == 0) m_serialFlags = before;
  }
  m_notice = LowerUsbLatency(path, "/sys", m_usbLatency);
  {
    // Once per adapter and run: the note does not improve by repetition.
    static std::mutex toldMutex;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> toldLock(toldMutex);
    if (!m_notice.empty() && !told.insert(m_usbLatency.file).second) m_notice.clear();
  }
  m_wakeRead = wake[0];
  m_wakeWrite = wake[1];
  m_path = path;
  m_mask.store(0);
  m_timeouts = CommTimeouts();
  std::lock_guard<std::mutex> lock(m_errorMutex);
  m_haveCounts = false;
  return true;
}

void CPosixSerialDevice::Close() {
  if (m_fd >= 0) {
    // Exclusive mode belongs to the tty, not to our descriptor; leaving it set
    // would lock everyone else out of a device that stays open elsewhere.
    RetryIoctl(m_fd, TIOCNXCL, nullptr);
    if (m_serialFlags >= 0) {
      struct serial_struct serial {};
      if (RetryIoctl(m_fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags = m_serialFlags;
        RetryIoctl(m_fd, TIOCSSERIAL, &serial);
      }
      m_serialFlags = -1;
    }
    RestoreUsbLatency(m_usbLatency);
    ::close(m_fd);
    m_fd = -1;
  }
  if (m_wakeRead >= 0) ::close(m_wakeRead);
  if (m_wakeWrite >= 0) ::close(m_wakeWrite);
  m_wakeRead = m_wakeWrite = -1;
  m_mask.store(0);
  m_path.clear();
}

std::string CPosixSerialDevice::TakeNotice() {
  std::string notice;
  notice.swap(m_notice);
  return notice;
}

bool CPosixSerialDevice::SetCommMask(uint32_t mask) {
  if (m_fd < 0) return false;
  m_mask.store(mask);
  if (mask == 0) {
    const char one = 1;
    ssize_t r;
    do r = ::write(m_wakeWrite, &one, 1);
    while (r < 0 && errno == EINTR);
    // A full pipe already holds a wake-up, so EAGAIN is as good as written.
  } else {
    char drain[64];
    while (::read(m_wakeRead, drain, sizeof drain) > 0) {
    }
  }
  return true;
}

bool CPosixSerialDevice::SetupComm(unsigned, unsigned) {
  // The tty layer sizes its own queues (4 KB and more); nothing to ask for.
  return m_fd >= 0;
}

bool CPosixSerialDevice::PurgeComm(unsigned flags) {
  if (m_fd < 0) return false;
  const bool rx = flags & (serial::kPurgeRxAbort | serial::kPurgeRxClear);
  const bool tx = flags & (serial::kPurgeTxAbort | serial::kPurgeTxClear);
  if (!rx && !tx) return true;
  const int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
  return ::ioctl(m_fd, TCFLSH, which) == 0;
}

bool CPosixSerialDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
  if (m_fd < 0) return false;
  m_timeouts = timeouts;
  return true;
}

CommTimeouts CPosixSerialDevice::GetCommTimeouts() const { return m_timeouts; }

bool CPosixSerialDevice::GetCommState(CommState& state) {
  struct termios2 tio {};
  if (m_fd < 0 || RetryIoctl(m_fd, TCGETS2, &tio) != 0) {
    m_lastErrorCode = m_fd < 0 ? EBADF : errno;
    m_lastError = "Cannot read the line settings: " + ErrorText(m_lastErrorCode);
    return false;
  }
  state = CommState();
  state.baudRate = static_cast<int>(tio.c_ospeed);
  switch (tio.c_cflag & CSIZE) {
    case CS5:
      state.byteSize = 5;
      break;
    case CS6:
      state.byteSize = 6;
      break;
    case CS7:
      state.byteSize = 7;
      break;
    default:
      state.byteSize = 8;
      break;
  }
  if (!(tio.c_cflag & PARENB))
    state.parity = serial::kParityNone;
  else if (tio.c_cflag & CMSPAR)
    state.parity = (tio.c_cflag & PARODD) ? serial::kParityMark : serial::kParitySpace;
  else
    state.parity = (tio.c_cflag & PARODD) ? serial::kParityOdd : serial::kParityEven;
  state.stopBits =
      (tio.c_cflag & CSTOPB) ? (state.byteSize == 5 ? serial::kStopOneHalf : serial::kStopTwo) : serial::kStopOne;
  state.parityCheck = tio.c_iflag & INPCK;
  state.outxCtsFlow = tio.c_cflag & CRTSCTS;
  state.rtsControl = state.outxCtsFlow ? serial::kRtsHandshake : serial::kRtsEnable;
  state.outX = tio.c_iflag & IXON;
  state.inX = tio.c_iflag & IXOFF;
  state.xonChar = tio.c_cc[VSTART];
  state.xoffChar = tio.c_cc[VSTOP];
  return true;
}

bool BuildTermios(const CommState& state, struct termios2& tio, std::string& why) {
  if (state.baudRate <= 0) {
    why = "line rate " + std::to_string(state.baudRate) + " is not valid";
    return false;
  }
  if (state.byteSize < 5 || state.byteSize > 8) {
    why = std::to_string(state.byteSize) + " data bits are not available";
    return false;
  }
  if (state.outxDsrFlow || state.dtrControl == serial::kDtrHandshake) {
    why = "DTR/DSR flow control is not available on this system";
    return false;
  }
  if (state.stopBits == serial::kStopOneHalf && state.byteSize != 5) {
    why = "1.5 stop bits are not available with " + std::to_string(state.byteSize) + " data bits";
    return false;
  }
  if (state.stopBits < serial::kStopOne || state.stopBits > serial::kStopTwo) {
    why = "stop bits setting " + std::to_string(state.stopBits) + " is not valid";
    return false;
  }
  if (state.parity < serial::kParityNone || state.parity > serial::kParitySpace) {
    why = "parity setting " + std::to_string(state.parity) + " is not valid";
    return false;
  }
  // Raw bytes both ways: no echo, no line editing, no signals, no CR/LF or
  // case translation, no stripping of the eighth bit.
  tio.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IXON | IXOFF |
                   INPCK | IUCLC | IMAXBEL);
  tio.c_oflag &= ~OPOST;
  tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD;
  static const unsigned kSizes[4] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[state.byteSize - 5];
  switch (state.parity) {
    case serial::kParityEven:
      tio.c_cflag |= PARENB;
      break;
    case serial::kParityOdd:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case serial::kParityMark:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case serial::kParitySpace:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (state.stopBits != serial::kStopOne) tio.c_cflag |= CSTOPB;
  if (state.parityCheck) tio.c_iflag |= INPCK;
  if (state.outxCtsFlow || state.rtsControl == serial::kRtsHandshake) tio.c_cflag |= CRTSCTS;
  if (state.outX) tio.c_iflag |= IXON;
  if (state.inX) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = state.xonChar;
  tio.c_cc[VSTOP] = state.xoffChar;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  // BOTHER takes the rate as a number, so 976 or 7815 need no table entry.
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = static_cast<speed_t>(state.baudRate);
  tio.c_ospeed = static_cast<speed_t>(state.baudRate);
  return true;
}

bool CPosixSerialDevice::SetCommState(const CommState& state) {
  m_lastError.clear();
  m_lastErrorCode = 0;
  if (m_fd < 0) {
    m_lastErrorCode = EBADF;
    m_lastError = "the port is not open";
    return false;
  }
  struct termios2 tio {};
  if (RetryIoctl(m_fd, TCGETS2, &tio) != 0) {
    m_lastErrorCode = errno;
    m_lastError = "cannot read the line settings: " + ErrorText(m_lastErrorCode);
    return false;
  }
  if (!BuildTermios(state, tio, m_lastError)) {
    m_lastErrorCode = EINVAL;
    return false;
  }
  if (RetryIoctl(m_fd, TCSETS2, &tio) != 0) {
    m_lastErrorCode = errno;
    m_lastError = "the device refused the line settings: " + ErrorText(m_lastErrorCode);
    return false;
  }
  return true;
}

bool CPosixSerialDevice::SetDtr(bool on) {
  if (m_fd < 0) return false;
  int bits = TIOCM_DTR;
  if (RetryIoctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return true;
  // Pseudo-terminals and some adapters have no modem lines to set.
  return errno == ENOTTY || errno == EINVAL || errno == EIO;
}

bool CPosixSerialDevice::ClearCommError(uint32_t& errors, uint32_t& waiting, int& error) {
  errors = 0;
  waiting = 0;
  error = 0;
  if (m_fd < 0) {
    error = EBADF;
    return false;
  }
  int available = 0;
  if (RetryIoctl(m_fd, FIONREAD, &available) != 0) {
    error = errno;
    return false;
  }
  waiting = available > 0 ? static_cast<uint32_t>(available) : 0;

  // Drivers of real UARTs count line errors; pseudo-terminals and many USB
  // adapters do not, and then there is simply nothing to report.
  struct serial_icounter_struct counts {};
  if (RetryIoctl(m_fd, TIOCGICOUNT, &counts) != 0) return true;
  const int now[5] = {counts.buf_overrun, counts.overrun, counts.parity, counts.frame, counts.brk};
  static const uint32_t kBits[5] = {serial::kCeRxOver, serial::kCeOverrun, serial::kCeRxParity, serial::kCeFrame, serial::kCeBreak};
  std::lock_guard<std::mutex> lock(m_errorMutex);
  if (m_haveCounts) {
    for (int i = 0; i < 5; ++i)
      if (now[i] != m_counts[i]) errors |= kBits[i];
  }
  std::memcpy(m_counts, now, sizeof m_counts);
  m_haveCounts = true;
  return true;
}

int CPosixSerialDevice::Read(uint8_t* buffer, unsigned length, int& error) {
  error = 0;
  if (m_fd < 0) {
    error = EBADF;
    return -1;
  }
  for (;;) {
    const ssize_t n = ::read(m_fd, buffer, length);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return 0;
    error = errno;
    return -1;
  }
}

unsigned CPosixSerialDevice::Write(const uint8_t* data, unsigned length, int& error) {
  error = 0;
  if (m_fd < 0) {
    error = EBADF;
    return 0;
  }
  using Clock = std::chrono::steady_clock;
  const uint64_t totalMs = static_cast<uint64_t>(m_timeouts.writeTotalTimeoutMultiplier) * length +
                           m_timeouts.writeTotalTimeoutConstant;
  const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
  unsigned done = 0;
  while (done < length) {
    const ssize_t n = ::write(m_fd, data + done, length - done);
    if (n > 0) {
      done += static_cast<unsigned>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      error = errno;
      return done;
    }
    // The driver's queue is full (or flow control holds the line): wait for
    // room, but not past the time-out the rate allows.
    int waitMs = -1;
    if (totalMs != 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        error = ETIMEDOUT;
        return done;
      }
      waitMs = static_cast<int>(left);
    }
    struct pollfd p {
      m_fd, POLLOUT, 0
    };
    const int r = ::poll(&p, 1, waitMs);
    if (r < 0 && errno != EINTR) {
      error = errno;
      return done;
    }
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT)) {
      error = EIO;
      return done;
    }
  }
  return done;
}

bool CPosixSerialDevice::WaitCommEvent(uint32_t& events, int& error) {
  events = 0;
  error = 0;
  if (m_fd < 0) {
    error = EBADF;
    return false;
  }
  for (;;) {
    if (m_mask.load() == 0) return true;
    struct pollfd p[2] = {{m_fd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
    const int r = ::poll(p, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (m_mask.load() == 0) return true;
    if (p[1].revents & POLLIN) {
      // A wake-up left from an earlier mask change; the mask is set again.
      char drain[64];
      while (::read(m_wakeRead, drain, sizeof drain) > 0) {
      }
      continue;
    }
    if (p[0].revents & POLLIN) events |= serial::kEvRxChar;
    if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) events |= serial::kEvHangUp;
    events &= m_mask.load() | serial::kEvHangUp;
    if (events) return true;
  }
}
