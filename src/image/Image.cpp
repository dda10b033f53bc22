#include <algorithm>

#include "image/LoadOffsetDlg.h"
#include "image/Programmer.h"
#include "shell/Shell.h"

// Every instance starts from a known state: zero bytes and clear flags, so no
// operation can ever send or save leftovers from earlier memory.
CProgrammer::CProgrammer()
    : m_pLoadOffsetDlg(std::make_unique<CLoadOffsetDlg>()), m_written(IMAGE_SIZE, 0), m_image(IMAGE_SIZE, 0) {
  m_pCursor = m_image.data();
  ResetBounds();
}

CProgrammer::~CProgrammer() = default;

void CProgrammer::ResetBounds() {
  m_lowest = 0xFFFF;
  m_highest = 0;
  m_loadOffset = 0;
}

// The two tests are independent so that the first stored byte sets both.
void CProgrammer::NoteAddress(uint32_t address) {
  if (address >= m_highest) m_highest = address;
  if (address <= m_lowest) m_lowest = address;
}

void CProgrammer::FillImage(int value) {
  std::fill(m_image.begin(), m_image.end(), static_cast<uint8_t>(value & 0xFF));
}

void CProgrammer::ClearWritten() { std::fill(m_written.begin(), m_written.end(), 0); }

int CProgrammer::SetImageByte(unsigned address, uint8_t value) {
  m_image[address & 0xFFFF] = value;
  return 1;
}

uint8_t CProgrammer::GetImageByte(unsigned address) const { return m_image[address & 0xFFFF]; }

void CProgrammer::ApplyLoadSettings(bool ask) {
  CLoadOffsetDlg& dlg = *m_pLoadOffsetDlg;
  if (!ask) {
    m_loadOffset = 0;
  } else {
    // The offset always opens as "0"; pre-fill and fill value keep what the
    // user last confirmed in this dialog object.
    dlg.SetOffset(0);
    // Cancel does not abandon the load: the file is read at offset 0.
    m_loadOffset = dlg.DoModal() == IDOK ? static_cast<uint16_t>(dlg.GetOffset()) : 0;
  }
  if (dlg.m_preFill) FillImage(dlg.GetFillValue());
}
