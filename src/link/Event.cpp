#include "link/Event.h"

#include <chrono>

CEvent::CEvent(Kind kind, bool initiallySet) : m_kind(kind), m_set(initiallySet) {}

void CEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = true;
  }
  // An auto-reset event releases one waiter; a manual-reset one all of them.
  if (m_kind == AutoReset)
    m_cv.notify_one();
  else
    m_cv.notify_all();
}

void CEvent::Reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_set = false;
}

bool CEvent::Wait(int timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (timeoutMs < 0) {
    m_cv.wait(lock, [this] { return m_set; });
  } else if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set; })) {
    return false;
  }
  if (m_kind == AutoReset) m_set = false;
  return true;
}

bool CEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_set;
}
