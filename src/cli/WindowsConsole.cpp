#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "cli/WindowsConsole.h"

namespace {

void (*g_interrupt)() = nullptr;
bool (*g_letThrough)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      if (g_letThrough && g_letThrough()) return FALSE;
      if (g_interrupt) g_interrupt();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void InstallConsoleInterrupts(void (*interrupt)(), bool (*letThrough)()) {
  g_interrupt = interrupt;
  g_letThrough = letThrough;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
