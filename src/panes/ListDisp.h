// CListDisp: the line model of one terminal pane.  Lines are added from the
// UI thread and, for "Comm err: ", from the receive thread; a busy flag keeps
// adding, clearing and drawing apart.  A widget draws it (10 x 18 pixel cells).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

class CListDisp {
 public:
  CListDisp();
  ~CListDisp();

  void SetTitle(const std::string& title);
  void AddLine(const std::string& text);
  void ClearLines();

  // A consistent copy for drawing (taken under the busy flag).
  std::vector<std::string> Lines() const;
  std::string Title() const;
  int Count() const;
  int MaxLen() const;
  size_t Reserved() const;  // storage reserved by SetTitle

  // Called after every change, on the thread that made it.
  std::function<void()> m_onChanged;

  mutable std::atomic<int> m_busy{0};
  std::string m_title;
  std::vector<std::string> m_lines;
  int m_count = 0;
  int m_maxLen = 10;
  size_t m_growBy = 100;
};
