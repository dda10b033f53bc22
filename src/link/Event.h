// A small event over a mutex and a condition variable, with the two kinds
// the program uses: auto-reset (a successful wait clears it) and manual-reset.
#pragma once

#include <condition_variable>
#include <mutex>

class CEvent {
 public:
  enum Kind { AutoReset, ManualReset };
  explicit CEvent(Kind kind = AutoReset, bool initiallySet = false);
  void Set();
  void Reset();
  // true when the event was set within timeoutMs (negative waits forever).
  bool Wait(int timeoutMs);
  bool IsSet() const;

 private:
  Kind m_kind;
  bool m_set;
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
};
