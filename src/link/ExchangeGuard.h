// Only one conversation with the target at a time.  While a command waits
// for a byte it dispatches UI events, so without this a second command (or a
// typed key frame) could start in the middle and interleave two exchanges on
// the wire.  Every command that talks to the target takes the guard first and
// does nothing when it is already held; menus show those commands unavailable
// while TargetExchangeBusy() is true.  Disconnect never takes it.
#pragma once

#include <atomic>

inline std::atomic<bool>& TargetExchangeFlag() {
  static std::atomic<bool> busy{false};
  return busy;
}

inline bool TargetExchangeBusy() { return TargetExchangeFlag().load(); }

class CExchangeGuard {
 public:
  CExchangeGuard() : m_acquired(!TargetExchangeFlag().exchange(true)) {}
  ~CExchangeGuard() {
    if (m_acquired) TargetExchangeFlag().store(false);
  }
  CExchangeGuard(const CExchangeGuard&) = delete;
  CExchangeGuard& operator=(const CExchangeGuard&) = delete;
  bool Acquired() const { return m_acquired; }

 private:
  bool m_acquired;
};
