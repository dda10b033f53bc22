#include "target/Talker.h"

#include "app/MainFrame.h"
#include "image/Programmer.h"
#include "link/ByteFifo.h"
#include "link/Event.h"
#include "link/LinkState.h"
#include "shell/Shell.h"
#include "target/HexFormat.h"
#include "target/ProgressDlg.h"
#include "target/TargetRange.h"

int SendByte(uint8_t byte) {
  if (!g_connected.load()) return 0;
  return WriteBytes(&byte, 1) ? 1 : 0;
}

int ReceiveByteChecked(uint8_t& byte, int waitMs) {
  while (g_rxFifo.Count() == 0) {
    if (!g_connected.load()) return 0;
    // Keeping the UI alive is what lets the user disconnect from a talker
    // that never answers; there is deliberately no time limit here.
    if (g_shell && g_shell->DispatchPendingEvent()) continue;
    g_rxDataEvent.Wait(waitMs);
    g_rxDataEvent.Reset();
  }
  byte = g_rxFifo.GetByte();
  return 1;
}

uint8_t ReceiveByteWait(int waitMs) {
  uint8_t byte = 0;
  ReceiveByteChecked(byte, waitMs);
  return byte;
}

uint8_t ReceiveByte() { return ReceiveByteWait(50); }

int SendCommandHeader(uint8_t command, unsigned address, uint8_t count) {
  // A command byte that never left the host gets no reply; waiting for one
  // would hold the UI until the user disconnects.
  if (!SendByte(command)) return 0;
  uint8_t reply = 0;
  bool ok = ReceiveByteChecked(reply) && reply == static_cast<uint8_t>(~command);
  // The talker expects the whole header whatever its reply was.
  bool sent = SendByte(count);
  sent = SendByte(static_cast<uint8_t>(address >> 8)) && sent;
  sent = SendByte(static_cast<uint8_t>(address & 0xFF)) && sent;
  return ok && sent ? 1 : 0;
}

int WriteTargetBlock(unsigned address, const uint8_t* data, unsigned countMinusOne) {
  if (!g_connected.load() || !RangeFits(address, countMinusOne)) return 0;
  g_rxFifo.Clear();
  unsigned remaining = countMinusOne + 1;
  int result = 1;
  while (remaining > 0) {
    uint8_t count = CountByte(remaining);
    if (!SendCommandHeader(CMD_WRITE, address & 0xFFFF, count)) result = 0;
    // Two bytes in flight: the second goes out before the first echo is read.
    do {
      uint8_t echo = 0;
      if (!SendByte(data[0])) return 0;
      ++address;
      if (count > 1) {
        if (!SendByte(data[1])) return 0;
        ++address;
        --count;
        if (!ReceiveByteChecked(echo)) return 0;
        if (echo != data[0]) result = 0;
        if (!ReceiveByteChecked(echo)) return 0;
        if (echo != data[1]) result = 0;
        data += 2;
      } else {
        if (!ReceiveByteChecked(echo)) return 0;
        if (echo != data[0]) result = 0;
        data += 1;
      }
      --count;
    } while (count != 0);
  }
  return result;
}

int WriteTargetByte(unsigned address, uint8_t value) { return WriteTargetBlock(address, &value, 0); }

int ReadTargetByte(unsigned address, uint8_t& byte) {
  if (!g_connected.load()) return 0;
  // A stale byte left from an earlier exchange would otherwise pass for the
  // complement and shift the real answer into the value; callers write
  // registers such as CONFIG back from what this returns.
  g_rxFifo.Clear();
  int result = SendCommandHeader(CMD_READ, address & 0xFFFF, 1);
  uint8_t received = 0;
  // The acknowledgement's value means nothing to the talker.
  if (!SendByte(byte) || !ReceiveByteChecked(received)) return 0;
  byte = received;
  SetStatusText(HexPairText(address, byte));
  return result;
}

int ReadTargetBlock(unsigned address, CProgrammer& programmer, unsigned countMinusOne) {
  CProgressDlg progress;
  progress.Begin("Reading Memory", address, countMinusOne, programmer.GetImageByte(address));
  if (!g_connected.load() || !RangeFits(address, countMinusOne)) return 0;

  g_rxFifo.Clear();
  unsigned remaining = countMinusOne + 1;
  int result = 1;
  while (remaining > 0) {
    uint8_t count = CountByte(remaining);
    if (!SendCommandHeader(CMD_READ, address & 0xFFFF, count)) result = 0;
    uint8_t last = 0;
    // Only bytes that really arrived reach the image; a lost link ends the read as a failure.
    do {
      if (!ReceiveByteChecked(last)) return 0;
      programmer.SetImageByte(address, last);
      if (!SendByte(last)) return 0;
      if (count > 2) {
        // Acknowledge the next byte before it arrives, so the talker never idles.
        if (!SendByte(programmer.GetImageByte(address + 1))) return 0;
        if (!ReceiveByteChecked(last)) return 0;
        programmer.SetImageByte(address + 1, last);
        address += 2;
        --count;
      } else {
        address += 1;
      }
      --count;
    } while (count != 0);
    progress.SetPos(address - 1);
    progress.SetAddress(address - 1, true);
    progress.SetValue(last, true);
  }
  return result;
}
