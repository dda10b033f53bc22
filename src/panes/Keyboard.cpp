#include <cstdio>

#include "app/MainFrame.h"
#include "app/TrellisView.h"
#include "link/ExchangeGuard.h"
#include "link/LinkState.h"
#include "shell/Shell.h"

namespace {

// The diagnostic request frames a typed key sends; each frame's last byte
// makes the sum of its bytes zero modulo 256.
struct KeyFrame {
  unsigned key;
  uint8_t length;
  uint8_t bytes[5];
};
constexpr KeyFrame kKeyFrames[] = {
    {0, 5, {0xF4, 0x57, 0x01, 0x00, 0xB4}}, {1, 5, {0xF4, 0x57, 0x01, 0x01, 0xB3}},
    {2, 5, {0xF4, 0x57, 0x01, 0x02, 0xB2}}, {4, 5, {0xF4, 0x57, 0x01, 0x04, 0xB0}},
    {6, 5, {0xF4, 0x57, 0x01, 0x06, 0xAE}}, {8, 4, {0xF4, 0x56, 0x08, 0xAE}},
    {10, 4, {0xF4, 0x56, 0x0A, 0xAC}},
};

}  // namespace

void CTrellisView::OnChar(unsigned code) {
  // Digits map to 0..9 and lower-case letters from 10 on; anything below '0'
  // wraps to a large number that has no frame.
  const unsigned key = code <= 0x39 ? code - 0x30 : code - 0x57;
  SendKeyFrame(key);
  if (g_shell) g_shell->RedrawView();
}

void CTrellisView::SendKeyFrame(unsigned keyNumber) {
  if (!g_connected) return;
  // A frame typed while a command talks to the target would land in the
  // middle of its exchange and corrupt both.
  if (TargetExchangeBusy()) return;
  for (const KeyFrame& frame : kKeyFrames) {
    if (frame.key != keyNumber) continue;
    WriteBytes(frame.bytes, frame.length);
    EchoTransmit(frame.bytes, frame.length);
    return;
  }
}

void CTrellisView::EchoTransmit(const uint8_t* bytes, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X,", static_cast<unsigned>(bytes[i]));
    text += hex;
  }
  if (m_displayComm == 1 && g_pMainFrame) g_pMainFrame->m_pXmitPane->AddLine(text);
  if (IsCommLogOpen()) {
    std::string line = "XMIT: " + text;
    WriteCommLog(line);
  }
}
