#include "cli/ProgressMeter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string FormatRate(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond >= 10000)
    std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1000.0);
  else
    std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
  return text;
}

std::string FormatDuration(double seconds) {
  if (seconds < 0) return "--:--";
  long s = std::lround(seconds);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

ProgressMeter::ProgressMeter(std::ostream& out, bool terminal, Clock clock)
    : m_out(out), m_terminal(terminal), m_clock(clock ? std::move(clock) : Clock(SteadySeconds)) {}

void ProgressMeter::Begin(const std::string& label, long low, long high) {
  if (m_active) End();
  m_active = true;
  m_label = label;
  m_address.clear();
  m_low = low;
  m_high = std::max(low, high);
  m_position = low;
  m_start = m_now = m_clock();
  m_lastDraw = -1;
  m_lastDecile = -1;
  m_drawnWidth = 0;
}

void ProgressMeter::Update(long position, const std::string& addressText) {
  if (!m_active) return;
  m_position = std::clamp(position, m_low, m_high);
  m_address = addressText;
  m_now = m_clock();
  Draw(false);
}

void ProgressMeter::End() {
  if (!m_active) return;
  m_now = m_clock();
  Draw(true);
  m_active = false;
}

int ProgressMeter::Percent() const {
  if (m_high <= m_low) return m_position >= m_high ? 100 : 0;
  return static_cast<int>((m_position - m_low) * 100 / (m_high - m_low));
}

double ProgressMeter::BytesPerSecond() const {
  double elapsed = m_now - m_start;
  if (elapsed <= 0) return 0;
  return static_cast<double>(m_position - m_low) / elapsed;
}

double ProgressMeter::SecondsLeft() const {
  double rate = BytesPerSecond();
  if (rate <= 0) return -1;
  return static_cast<double>(m_high - m_position) / rate;
}

std::string ProgressMeter::Line() const {
  char head[64];
  std::snprintf(head, sizeof head, "%3d%%", Percent());
  std::string line = m_label + " " + head;
  if (m_terminal) {
    const int width = 24;
    int filled = Percent() * width / 100;
    line = m_label + " [" + std::string(filled, '#') + std::string(width - filled, '.') + "] " + head;
  }
  line += "  " + (m_address.empty() ? std::string("      ") : m_address);
  line += "  " + FormatRate(BytesPerSecond());
  line += "  " + FormatDuration(SecondsLeft()) + " left";
  return line;
}

void ProgressMeter::Draw(bool final) {
  if (m_terminal) {
    // A redraw per chunk would flood a slow terminal; five a second reads as smooth.
    if (!final && m_lastDraw >= 0 && m_now - m_lastDraw < 0.2) return;
    m_lastDraw = m_now;
    std::string line = Line();
    size_t width = line.size();
    if (line.size() < m_drawnWidth) line += std::string(m_drawnWidth - line.size(), ' ');
    m_drawnWidth = width;
    // One write per redraw, so a line from another thread cannot split it.
    m_out << ("\r" + line + (final ? "\n" : ""));
    m_out.flush();
    return;
  }
  int decile = Percent() / 10;
  if (decile <= m_lastDecile) return;
  // Off a terminal the steps are printed as they are reached; the closing
  // step only if the transfer got there, so a log never shows 100% of a
  // transfer that stopped half way.
  if (!final && decile == 0 && m_position == m_low) return;
  m_lastDecile = decile;
  m_out << (Line() + "\n");
  m_out.flush();
}
