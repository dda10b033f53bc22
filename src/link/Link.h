// CLink: the one serial link of the program.  It owns the serial device, the
// receive thread, the received-byte queue and its event, the connection flags
// and the line settings; the main view owns the link, and everything that
// talks to the controller is handed a reference to it.
//
// Two threads meet here.  The UI thread opens and closes the port, writes,
// and takes bytes from the queue (ReceiveByte); the receive thread waits for
// the device, reads what arrived and puts it into the queue.  A device whose
// far end runs in this process (the virtual controller's in-process device)
// has no receive thread: ReceiveByte asks the device for input itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "link/ByteFifo.h"
#include "link/Event.h"
#include "link/SerialDevice.h"

// The line settings, section "Comm" of the settings store.
struct LinkSettings {
  int port = 0;              // 0..3, "Port"; opens the device stored as "Device n+1"
  int normalBaud = 9600;     // "Normal Baud", the rate of every OpenPort
  int bootstrapBaud = 1200;  // "BSB", the rate of the bootstrap download
  int dataBits = 8;          // 7 or 8
  int parity = serial::kParityNone;
  int stopBits = serial::kStopOne;
  bool dtrDsrFlow = false;
  bool rtsCtsFlow = false;
  bool xonXoffFlow = false;
};

class CLink {
 public:
  // Without a device the system's serial device is used.
  explicit CLink(std::unique_ptr<CSerialDevice> device = nullptr);
  ~CLink();  // closes the port, waiting for the receive thread
  CLink(const CLink&) = delete;
  CLink& operator=(const CLink&) = delete;

  // ---- settings ----
  // Port, Normal Baud and BSB from the store; values out of range fall back
  // to their defaults.
  void ReadSettings();
  LinkSettings m_settings;
  // The device path that port index `port` (0..3) opens ("Comm", "Device n").
  static std::string DevicePathForPort(int port);
  std::string DevicePath() const { return DevicePathForPort(m_settings.port); }

  // ---- port ----
  // Opens the configured device at the normal rate and starts the receive
  // thread.  A port already open is closed first.  false with the reason on
  // the error observer ("Comm err: ").
  bool OpenPort();
  // The same at another rate: the bootstrap download.
  bool OpenAt(int rate);
  // Moves the open port to another rate without closing it (the rate switch
  // of our talker): the connection, its receive thread and the modem lines
  // stay as they are.  false with the reason on the error observer when the
  // port is closed or the device refuses the rate; the old rate then stays.
  bool SetRate(int rate);
  // Ends the connection: flags cleared, receive thread stopped, device closed.
  void ClosePort();
  // The device is held (it may have gone away under a live connection).
  bool PortHeld() const;
  // The rate of the present opening; 0 when closed.
  int OpenRate() const { return m_openRate; }
  // How many times the port was opened: a new opening starts a new run of
  // talker commands.
  unsigned OpenCount() const { return m_openCount; }
  CSerialDevice& Device() { return *m_device; }

  // ---- connection flags ----
  // The port is open and the receive thread meant to run; every send and
  // receive loop stops when it clears.
  bool Connected() const { return m_connected.load(); }
  // The talker is taken to be running.
  bool BootMode() const { return m_bootMode.load(); }
  void SetBootMode(bool on);
  bool RxThreadRunning() const { return m_rxThreadRunning.load(); }

  // ---- bytes ----
  // Sends a block on the open port; blocks until the driver has taken it.
  // false when the port is not open or the write failed.
  bool WriteBytes(const uint8_t* data, unsigned length);
  // The next received byte: 1 with the byte stored, 0 (byte untouched) when
  // the link closed while the queue was empty.  Dispatches pending UI events
  // while it waits (so Disconnect stays usable) and otherwise waits in slices
  // of `waitMs`.  There is no overall time limit.
  int ReceiveByte(uint8_t& byte, int waitMs = 50);
  // Bytes that arrived: to the receive observer, then into the queue.  The
  // receive thread's path; tests feed it directly.
  void OnReceive(const uint8_t* bytes, int count);
  CByteFifo& Queue() { return m_rxFifo; }
  CEvent& DataEvent() { return m_rxDataEvent; }
  // A pause of the host's own, in the device's time.
  void SleepMs(int ms);

  // ---- observers; set them while the port is closed ----
  // Every received batch just before it is queued, on the receive thread (or
  // the UI thread for an in-process device).
  std::function<void(const uint8_t* bytes, int count)> receiveObserver;
  // Every block WriteBytes is about to send, on the UI thread.
  std::function<void(const uint8_t* bytes, unsigned count)> transmitObserver;
  // A line for the "Comm err: " pane; any thread.
  std::function<void(const std::string& line)> errorObserver;

  // Reports a link error line (through errorObserver).
  void ReportError(const std::string& line);

  // ---- one exchange at a time ----
  // While a command waits for a byte it dispatches UI events; without this a
  // second command (or a typed key frame) could start in the middle and
  // interleave two exchanges on the wire.  See CExchangeGuard.
  bool ExchangeBusy() const { return m_exchangeBusy.load(); }
  std::atomic<bool>& ExchangeFlag() { return m_exchangeBusy; }

 private:
  void ReleasePort();
  void ReceiveThreadMain();
  // Reads up to `maximum` bytes already waiting; never waits.  The count, or
  // -1 when the device no longer answers (its error code in *deviceError).
  int ReadAvailable(uint8_t* buffer, int maximum, int* deviceError);
  // Takes what an in-process device has for us.
  void PullInput();
  void LoseDevice(int error);
  void ReportCode(const char* format, unsigned value);
  void Redraw();

  std::unique_ptr<CSerialDevice> m_device;
  CByteFifo m_rxFifo{65535};
  CEvent m_rxDataEvent{CEvent::AutoReset, false};
  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_bootMode{false};
  std::atomic<bool> m_rxThreadRunning{false};
  std::atomic<bool> m_exchangeBusy{false};
  std::thread m_rxThread;
  int m_openRate = 0;
  unsigned m_openCount = 0;
};

// Holds the link's exchange for its lifetime; Acquired() is false when
// another exchange holds it, and the command then does nothing.  Disconnect
// never takes it.
class CExchangeGuard {
 public:
  explicit CExchangeGuard(CLink& link) : m_flag(link.ExchangeFlag()), m_acquired(!m_flag.exchange(true)) {}
  ~CExchangeGuard() {
    if (m_acquired) m_flag.store(false);
  }
  CExchangeGuard(const CExchangeGuard&) = delete;
  CExchangeGuard& operator=(const CExchangeGuard&) = delete;
  bool Acquired() const { return m_acquired; }

 private:
  std::atomic<bool>& m_flag;
  bool m_acquired;
};

// Trace lines of the receive path: standard error in a debug build, nowhere otherwise.
void DebugOutput(const char* text);
