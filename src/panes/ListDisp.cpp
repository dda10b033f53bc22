#include "panes/ListDisp.h"

#include <chrono>
#include <thread>

namespace {

constexpr int kMaxLines = 300;
constexpr int kDropLines = 100;

// Holds the pane's busy flag for one scope.  The receive thread adds error
// lines while the UI thread may be drawing, so taking the flag is a
// test-and-set; a taker that finds it held checks again every 10 ms.
class BusyHold {
 public:
  explicit BusyHold(std::atomic<int>& busy) : m_busy(busy) {
    while (m_busy.exchange(1, std::memory_order_acquire) != 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~BusyHold() { m_busy.store(0, std::memory_order_release); }
  BusyHold(const BusyHold&) = delete;
  BusyHold& operator=(const BusyHold&) = delete;

 private:
  std::atomic<int>& m_busy;
};

}  // namespace

CListDisp::CListDisp() = default;

CListDisp::~CListDisp() = default;

void CListDisp::SetTitle(const std::string& title) {
  {
    BusyHold hold(m_busy);
    m_title = title;
    // The reservation by the title's first letter keeps reallocation rare for
    // the pane's usual traffic; it only ever enlarges the storage, so lines
    // already held all stay.
    size_t reserve = 50;
    switch (title.empty() ? '\0' : title[0]) {
      case 'C':
        reserve = 30;
        m_growBy = 30;
        break;
      case 'D':
        reserve = 15;
        m_growBy = 10;
        break;
      case 'R':
        reserve = 200;
        m_growBy = 100;
        break;
      default:
        reserve = 50;
        m_growBy = 100;
        break;
    }
    if (reserve > m_lines.capacity()) m_lines.reserve(reserve);
  }
  if (m_onChanged) m_onChanged();
}

void CListDisp::AddLine(const std::string& text) {
  {
    BusyHold hold(m_busy);
    if (m_lines.size() == m_lines.capacity()) m_lines.reserve(m_lines.capacity() + m_growBy);
    m_lines.push_back(m_title + text);
    const int length = static_cast<int>(m_lines.back().size());
    if (length > m_maxLen) m_maxLen = length;
    // Dropping a hundred at once keeps the list short without a shift per line.
    if (m_lines.size() > static_cast<size_t>(kMaxLines))
      m_lines.erase(m_lines.begin(), m_lines.begin() + kDropLines);
    m_count = static_cast<int>(m_lines.size());
  }
  if (m_onChanged) m_onChanged();
}

void CListDisp::ClearLines() {
  {
    BusyHold hold(m_busy);
    std::vector<std::string>().swap(m_lines);
    m_count = 0;
  }
  if (m_onChanged) m_onChanged();
}

std::vector<std::string> CListDisp::Lines() const {
  BusyHold hold(m_busy);
  return m_lines;
}

std::string CListDisp::Title() const {
  BusyHold hold(m_busy);
  return m_title;
}

int CListDisp::Count() const {
  BusyHold hold(m_busy);
  return m_count;
}

int CListDisp::MaxLen() const {
  BusyHold hold(m_busy);
  return m_maxLen;
}

size_t CListDisp::Reserved() const {
  BusyHold hold(m_busy);
  return m_lines.capacity();
}
