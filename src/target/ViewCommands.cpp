// The main view's commands that belong to the target protocol.  Each one that
// talks to the target holds the exchange guard for its whole run: the byte
// waits dispatch UI events, and a second exchange started from there would
// interleave with this one on the wire.
#include "app/TrellisView.h"
#include "image/Programmer.h"
#include "link/ExchangeGuard.h"
#include "link/LinkState.h"
#include "shell/Shell.h"
#include "target/Eeprom.h"

void CTrellisView::OnBootLoad() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  // A programmer of its own, so the view's image stays as the user left it.
  CProgrammer programmer;
  programmer.BootLoad(false);
}

void CTrellisView::OnForceProgConnection() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  if (!g_connected.load()) OpenPort();
  // Set even when the open failed: the user vouches for a running talker.
  g_bootMode = true;
  if (g_shell) g_shell->RedrawView();
}

void CTrellisView::OnEraseFlashChip() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  CProgrammer programmer;
  programmer.EraseFlash();
}

// Identification happens as part of Erase Flash Chip; the menu item itself does nothing.
void CTrellisView::OnFlashId() {}

void CTrellisView::OnClearProcessor() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  BulkEraseEeprom();
}
