#include "operations/ThreadPriority.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Windows counts priority the other way round (higher runs first); the
// nice value is its negation, so one step up is still "one less".
int CurrentThreadNice() { return -GetThreadPriority(GetCurrentThread()); }

CRaisedPriority::CRaisedPriority() {
  const int now = GetThreadPriority(GetCurrentThread());
  if (now == THREAD_PRIORITY_ERROR_RETURN) return;
  m_previous = -now;
  m_raised = SetThreadPriority(GetCurrentThread(), now + 1) != 0;
}

CRaisedPriority::~CRaisedPriority() {
  if (m_raised) SetThreadPriority(GetCurrentThread(), -m_previous);
}
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace {

// On Linux a nice value belongs to the thread named by its kernel id.
id_t ThreadId() { return static_cast<id_t>(syscall(SYS_gettid)); }

}  // namespace

int CurrentThreadNice() {
  errno = 0;
  return getpriority(PRIO_PROCESS, ThreadId());
}

CRaisedPriority::CRaisedPriority() {
  errno = 0;
  int now = getpriority(PRIO_PROCESS, ThreadId());
  if (now == -1 && errno != 0) return;
  m_previous = now;
  // One step up is "above normal"; refused without the privilege, which is
  // fine: the flash works the same, only less shielded from a busy desktop.
  m_raised = setpriority(PRIO_PROCESS, ThreadId(), now - 1) == 0;
}

CRaisedPriority::~CRaisedPriority() {
  if (m_raised) setpriority(PRIO_PROCESS, ThreadId(), m_previous);
}
#endif
