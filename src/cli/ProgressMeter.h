// The progress display of long transfers on standard error: a bar redrawn
// in place on a terminal, one line per 10% anywhere else (logs, pipes).
#pragma once

#include <functional>
#include <ostream>
#include <string>

class ProgressMeter {
 public:
  using Clock = std::function<double()>;  // seconds, monotonic

  ProgressMeter(std::ostream& out, bool terminal, Clock clock = Clock());

  // A transfer over the addresses low..high has started.
  void Begin(const std::string& label, long low, long high);
  // The transfer has reached `position`; addressText is shown as it stands.
  void Update(long position, const std::string& addressText);
  // The operation names itself after the window opened.
  void SetLabel(const std::string& label) { m_label = label; }
  // The transfer ended (at whatever position it reached).
  void End();

  bool Active() const { return m_active; }
  long Low() const { return m_low; }
  long High() const { return m_high; }

  // The figures of the present state, as shown.
  int Percent() const;
  double BytesPerSecond() const;
  // Seconds still to go at the present rate; negative when unknown.
  double SecondsLeft() const;
  std::string Line() const;

 private:
  void Draw(bool final);

  std::ostream& m_out;
  bool m_terminal;
  Clock m_clock;
  bool m_active = false;
  std::string m_label;
  std::string m_address;
  long m_low = 0;
  long m_high = 0;
  long m_position = 0;
  double m_start = 0;
  double m_now = 0;
  double m_lastDraw = -1;
  int m_lastDecile = -1;  // last 10% step printed off a terminal
  size_t m_drawnWidth = 0;
};
