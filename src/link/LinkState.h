// Process-wide link settings, connection flags and the port's write path.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Link settings (read from section "Comm" when the view is constructed).
extern int g_port;           // 0..3, "Port"
extern int g_normalBaud;     // "Normal Baud", the rate of every OpenPort
extern int g_bootstrapBaud;  // "BSB"
extern int g_dataBits;       // 7 or 8
extern int g_parity;         // 0 None, 1 Even, 2 Odd, 3 Mark, 4 Space
extern int g_stopBits;       // 0 one, 1 one and a half, 2 two
extern bool g_dtrDsrFlow;
extern bool g_rtsCtsFlow;
extern bool g_xonXoffFlow;

// Connection flags, shared with the receive thread.
extern std::atomic<bool> g_connected;
extern std::atomic<bool> g_bootMode;
extern std::atomic<bool> g_rxThreadRunning;

// Sends a block on the open port; blocks until the driver has taken it.
// false when the port is not open or the write failed.
bool WriteBytes(const uint8_t* data, unsigned length);

// Trace lines of the receive path: standard error in a debug build, nowhere otherwise.
void DebugOutput(const char* text);

// Adds one line to the "Comm err: " pane; safe from the receive thread.
void ShowCommError(const char* text, int length);
void ShowCommError(const std::string& text);
