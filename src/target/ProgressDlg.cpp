#include "target/ProgressDlg.h"

#include <cstdio>

#include "shell/Shell.h"

namespace {

constexpr size_t kLabelLimit = 20;
constexpr size_t kFieldLimit = 8;

std::string Limited(const std::string& text, size_t limit) {
  return text.size() > limit ? text.substr(0, limit) : text;
}

// The field is formatted in full first, so a value wider than the field can
// never overrun anything; the window shows at most the field's width.
std::string FieldText(const char* format, unsigned value, bool show) {
  if (!show) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return Limited(text, kFieldLimit);
}

int Changed(CProgressDlg& progress) {
  if (!progress.m_open || !g_shell) return 0;
  g_shell->ProgressChanged(progress);
  return 1;
}

}  // namespace

CProgressDlg::CProgressDlg() = default;

CProgressDlg::~CProgressDlg() {
  if (m_open && g_shell) g_shell->ProgressClosed(*this);
  m_open = false;
}

bool CProgressDlg::Create() {
  if (m_open) return true;
  // The window opens with its three texts empty, whatever the template said.
  m_label.clear();
  m_address.clear();
  m_value.clear();
  if (!g_shell) return false;
  m_open = true;
  g_shell->ProgressOpened(*this);
  return true;
}

int CProgressDlg::SetRange(long low, long high) {
  m_low = low;
  m_high = high;
  return Changed(*this);
}

int CProgressDlg::SetPos(long position) {
  m_pos = position;
  return Changed(*this);
}

int CProgressDlg::SetLabel(const std::string& text) {
  m_label = Limited(text, kLabelLimit);
  return Changed(*this);
}

int CProgressDlg::SetAddress(unsigned address, bool show) {
  m_address = FieldText("0x%4x", address, show);
  return Changed(*this);
}

int CProgressDlg::SetValue(unsigned value, bool show) {
  m_value = FieldText("0x%2x", value, show);
  return Changed(*this);
}

void CProgressDlg::Begin(const std::string& label, unsigned first, unsigned countMinusOne, unsigned firstValue,
                         Transfer transfer) {
  m_transfer = transfer;
  m_done = 0;
  m_total = static_cast<uint64_t>(countMinusOne) + 1;
  m_subject = CProgressSubject::Current();
  Create();
  SetRange(first, static_cast<long>(first) + countMinusOne);
  SetPos(first);
  SetLabel(label);
  SetAddress(first, true);
  SetValue(firstValue, true);
}

void CProgressDlg::SetDone(uint64_t done) {
  m_done = done;
  Changed(*this);
}

namespace {
std::string& SubjectNow() {
  static std::string subject;
  return subject;
}
}  // namespace

CProgressSubject::CProgressSubject(const std::string& subject) : m_previous(SubjectNow()) { SubjectNow() = subject; }
CProgressSubject::~CProgressSubject() { SubjectNow() = m_previous; }
const std::string& CProgressSubject::Current() { return SubjectNow(); }
