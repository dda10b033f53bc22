#include "support/RigController.h"

#include "shell/SettingsStore.h"

RigController::~RigController() {
  if (m_pty) m_pty->Stop();
}

uint8_t RigController::Read(unsigned address) const {
  return m_pty ? m_pty->Read(address) : m_device->Target().Read(address);
}
void RigController::Write(unsigned address, uint8_t value) {
  if (m_pty)
    m_pty->Write(address, value);
  else
    m_device->Target().Poke(address, value);
}
std::vector<uint8_t> RigController::Flash() const {
  return m_pty ? m_pty->Flash() : m_device->Target().FlashArray();
}
void RigController::LoadFlash(const std::vector<uint8_t>& bytes, unsigned address) {
  if (m_pty) return m_pty->LoadFlash(bytes, address);
  std::vector<uint8_t>& flash = m_device->Target().FlashArray();
  for (size_t i = 0; i < bytes.size() && address + i < flash.size(); ++i) flash[address + i] = bytes[i];
}
std::vector<uint8_t> RigController::Eeprom() const {
  return m_pty ? m_pty->Eeprom() : m_device->Target().EepromArray();
}
void RigController::SetEeprom(const std::vector<uint8_t>& cells) {
  if (m_pty) return m_pty->SetEeprom(cells);
  m_device->Target().EepromArray() = cells;
}
uint8_t RigController::Config() const { return m_pty ? m_pty->Config() : m_device->Target().Config(); }
void RigController::SetConfig(uint8_t value) {
  if (m_pty) return m_pty->SetConfig(value);
  m_device->Target().SetConfig(value);
}
std::vector<uint8_t> RigController::LoaderBytes() const {
  return m_pty ? m_pty->LoaderBytes() : m_device->Target().LoaderBytes();
}
SimMode RigController::Mode() const { return m_pty ? m_pty->Mode() : m_device->Target().Mode(); }
void RigController::ResetIntoBootstrap() {
  if (m_pty) return m_pty->ResetIntoBootstrap();
  m_device->ResetTarget();
}
std::vector<uint8_t> RigController::HostBytes() const {
  return m_pty ? m_pty->HostBytes() : m_device->HostBytes();
}
std::vector<uint8_t> RigController::TargetBytes() const {
  return m_pty ? m_pty->TargetBytes() : m_device->TargetBytes();
}
void RigController::ClearTrace() {
  if (m_pty) return m_pty->ClearTrace();
  m_device->ClearTrace();
}
std::string RigController::SlavePath() const { return m_pty ? m_pty->SlavePath() : std::string(CSimDevice::kDefaultName); }
void RigController::DropHostBytes(int count) {
  if (m_pty) return m_pty->DropHostBytes(count);
  m_device->DropHostBytes(count);
}
void RigController::CorruptEcho(int nthDataByte) {
  if (m_pty) return m_pty->CorruptEcho(nthDataByte);
  m_device->Target().CorruptEcho(nthDataByte);
}
void RigController::WrongComplementNextCommand() {
  if (m_pty) return m_pty->WrongComplementNextCommand();
  m_device->Target().WrongComplementNextCommand();
}
void RigController::Stall() {
  if (m_pty) return m_pty->Stall();
  m_device->Target().Stall();
}
void RigController::HangUp() {
  if (m_pty) return m_pty->HangUp();
  m_device->HangUp();
}
void RigController::SetRandomCorruption(double rate, uint32_t seed) {
  if (m_pty) return m_pty->SetRandomCorruption(rate, seed);
  m_device->SetRandomCorruption(rate, seed);
}


std::unique_ptr<CSerialDevice> StartRigController(const SimOptions& options, Line line, SettingsStore& store,
                                                  std::unique_ptr<RigController>& sim) {
  sim.reset();
  store.WriteProfileInt("Comm", "BSB", options.bootstrapBaud);
  store.WriteProfileInt("Comm", "Normal Baud", options.normalBaud);
  if (line == Line::PseudoTerminal) {
    auto controller = std::make_unique<VirtualController>(options);
    if (!controller->Start()) return nullptr;
    store.WriteProfileString("Comm", "Device 1", controller->SlavePath());
    sim = std::make_unique<RigController>(std::move(controller), nullptr);
    return nullptr;
  }
  auto device = std::make_unique<CSimDevice>(options);
  store.WriteProfileString("Comm", "Device 1", CSimDevice::kDefaultName);
  sim = std::make_unique<RigController>(nullptr, device.get());
  return device;
}
