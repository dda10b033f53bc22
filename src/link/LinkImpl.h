// The view's link state that only src/link and its tests see.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <functional>

#include "app/TrellisView.h"

struct CTrellisView::LinkImpl {
  pthread_t rxThread{};
  bool rxThreadStarted = false;  // joined by ClosePort, also after the thread ended by itself
  int logCommFd = -1;
  int logRunFd = -1;
  // Sees every received batch right after it was queued, on the receive
  // thread (a traffic monitor, the tests).  Set only while the port is closed.
  std::function<void(const uint8_t* bytes, int count)> receiveObserver;
  // Sees every block WriteBytes is about to send, on the UI thread (the
  // command line's wire trace).  Set only while the port is closed.
  std::function<void(const uint8_t* bytes, unsigned count)> transmitObserver;
};

// Reads up to `maximum` bytes that are already waiting in the driver; never
// waits.  Returns the count, or -1 when the device no longer answers (its
// error code in *deviceError).
int ReadAvailable(uint8_t* buffer, int maximum, int* deviceError = nullptr);
