#include "support/RigController.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "shell/SettingsStore.h"

namespace {

hc11::FlashChip::Kind ChipOf(SimChip chip) {
  return chip == SimChip::EraseFirst ? hc11::FlashChip::Kind::Am29F010 : hc11::FlashChip::Kind::Sst29EE010;
}

}  // namespace

Backend RigBackend() {
  const char* rig = std::getenv("KESTON_RIG");
  return rig && std::strcmp(rig, "cpu") == 0 ? Backend::Cpu : Backend::Model;
}

std::string RigLoaderDir(const std::string& sourceDir) {
  return RigOnCpu() ? std::string(KESTON_TALKER_DIR) + "/" : sourceDir + "/examples/";
}

std::string RigLoaderName() { return RigOnCpu() ? "talker.s19" : "stand-in-loader.s19"; }

std::vector<uint8_t> RigTalkerImage() {
  // The build writes S1 records from address 0 without gaps.
  std::vector<uint8_t> image;
  std::ifstream in(std::string(KESTON_TALKER_DIR) + "/talker.s19");
  for (std::string line; std::getline(in, line);) {
    if (line.size() < 10 || line[0] != 'S' || line[1] != '1') continue;
    const unsigned count = static_cast<unsigned>(std::stoul(line.substr(2, 2), nullptr, 16));
    for (unsigned i = 3; i < count && 2 + 2 * i + 2 <= line.size(); ++i)
      image.push_back(static_cast<uint8_t>(std::stoul(line.substr(2 + 2 * i, 2), nullptr, 16)));
  }
  return image;
}

RigController::~RigController() {
  if (m_pty) m_pty->Stop();
}

uint8_t RigController::Read(unsigned address) const {
  if (m_cpu) return m_cpu->Machine().Peek(static_cast<uint16_t>(address));
  return m_pty ? m_pty->Read(address) : m_device->Target().Read(address);
}
void RigController::Write(unsigned address, uint8_t value) {
  if (m_cpu)
    m_cpu->Machine().Poke(static_cast<uint16_t>(address), value);
  else if (m_pty)
    m_pty->Write(address, value);
  else
    m_device->Target().Poke(address, value);
}
std::vector<uint8_t> RigController::Flash() const {
  if (m_cpu) {
    const auto& chip = m_cpu->Machine().Chip().Array();
    return std::vector<uint8_t>(chip.begin(), chip.begin() + 0x10000);
  }
  return m_pty ? m_pty->Flash() : m_device->Target().FlashArray();
}
void RigController::LoadFlash(const std::vector<uint8_t>& bytes, unsigned address) {
  if (m_pty) return m_pty->LoadFlash(bytes, address);
  std::vector<uint8_t>& flash = m_cpu ? m_cpu->Machine().Chip().Array() : m_device->Target().FlashArray();
  for (size_t i = 0; i < bytes.size() && address + i < 0x10000; ++i) flash[address + i] = bytes[i];
}
std::vector<uint8_t> RigController::Eeprom() const {
  if (m_cpu) {
    const auto& cells = m_cpu->Machine().Eeprom();
    return std::vector<uint8_t>(cells.begin(), cells.end());
  }
  return m_pty ? m_pty->Eeprom() : m_device->Target().EepromArray();
}
void RigController::SetEeprom(const std::vector<uint8_t>& cells) {
  if (m_cpu) {
    auto& e = m_cpu->Machine().Eeprom();
    std::copy_n(cells.begin(), std::min(cells.size(), e.size()), e.begin());
    return;
  }
  if (m_pty) return m_pty->SetEeprom(cells);
  m_device->Target().EepromArray() = cells;
}
uint8_t RigController::Config() const {
  if (m_cpu) return m_cpu->Machine().Peek(0x103F);
  return m_pty ? m_pty->Config() : m_device->Target().Config();
}
uint8_t RigController::ConfigCell() const {
  if (m_cpu) return m_cpu->Machine().ConfigCell();
  return m_pty ? m_pty->Config() : m_device->Target().Config();
}
void RigController::SetConfig(uint8_t value) {
  if (m_cpu) return m_cpu->Machine().SetConfigCell(value);
  if (m_pty) return m_pty->SetConfig(value);
  m_device->Target().SetConfig(value);
}
std::vector<uint8_t> RigController::LoaderBytes() const {
  if (m_cpu) {
    // The boot ROM stores each byte it echoes from address 0 on.
    const unsigned n = std::min(m_cpu->Machine().BootRomTransmits(), 1024u);
    std::vector<uint8_t> bytes(n);
    for (unsigned i = 0; i < n; ++i) bytes[i] = m_cpu->Machine().Peek(static_cast<uint16_t>(i));
    return bytes;
  }
  return m_pty ? m_pty->LoaderBytes() : m_device->Target().LoaderBytes();
}
SimMode RigController::Mode() const {
  if (m_cpu) {
    if (m_cpu->HungUp()) return SimMode::HungUp;
    if (m_cpu->Stalled()) return SimMode::Stalled;
    if (!m_cpu->Machine().Crash().empty()) return SimMode::Crashed;
    return m_cpu->LoaderRunning() ? SimMode::Talker : SimMode::Bootstrap;
  }
  return m_pty ? m_pty->Mode() : m_device->Target().Mode();
}
void RigController::ResetIntoBootstrap() {
  if (m_cpu) return m_cpu->ResetTarget();
  if (m_pty) return m_pty->ResetIntoBootstrap();
  m_device->ResetTarget();
}
std::vector<uint8_t> RigController::HostBytes() const {
  if (m_cpu) return m_cpu->HostBytes();
  return m_pty ? m_pty->HostBytes() : m_device->HostBytes();
}
std::vector<uint8_t> RigController::TargetBytes() const {
  if (m_cpu) return m_cpu->TargetBytes();
  return m_pty ? m_pty->TargetBytes() : m_device->TargetBytes();
}
void RigController::ClearTrace() {
  if (m_cpu) return m_cpu->ClearTrace();
  if (m_pty) return m_pty->ClearTrace();
  m_device->ClearTrace();
}
std::string RigController::SlavePath() const {
  if (m_cpu) return CCpuDevice::kDefaultName;
  return m_pty ? m_pty->SlavePath() : std::string(CSimDevice::kDefaultName);
}
void RigController::DropHostBytes(int count) {
  if (m_cpu) return m_cpu->DropHostBytes(count);
  if (m_pty) return m_pty->DropHostBytes(count);
  m_device->DropHostBytes(count);
}
void RigController::CorruptEcho(int nthDataByte) {
  // The talker answers a write with its complement first, so the echo of
  // data byte n is the (n+1)th byte it sends.
  if (m_cpu) return m_cpu->SpoilTargetByte(nthDataByte + 1, 0x80);
  if (m_pty) return m_pty->CorruptEcho(nthDataByte);
  m_device->Target().CorruptEcho(nthDataByte);
}
void RigController::WrongComplementNextCommand() {
  if (m_cpu) return m_cpu->SpoilTargetByte(1, 0x01);
  if (m_pty) return m_pty->WrongComplementNextCommand();
  m_device->Target().WrongComplementNextCommand();
}
void RigController::Stall() {
  if (m_cpu) return m_cpu->Stall();
  if (m_pty) return m_pty->Stall();
  m_device->Target().Stall();
}
void RigController::HangUp() {
  if (m_cpu) return m_cpu->HangUp();
  if (m_pty) return m_pty->HangUp();
  m_device->HangUp();
}
void RigController::SetRandomCorruption(double rate, uint32_t seed) {
  if (m_cpu) return m_cpu->SetRandomCorruption(rate, seed);
  if (m_pty) return m_pty->SetRandomCorruption(rate, seed);
  m_device->SetRandomCorruption(rate, seed);
}
void RigController::HangUpAfterHostBytes(size_t count) {
  if (m_cpu) return m_cpu->HangUpAfterHostBytes(count);
  if (m_device) m_device->HangUpAfterHostBytes(count);
}
void RigController::SetHostNoise(std::function<uint8_t(size_t, uint8_t)> noise) {
  if (m_cpu) m_cpu->hostNoise = std::move(noise);
  else if (m_device) m_device->hostNoise = std::move(noise);
}
void RigController::SetTargetNoise(std::function<uint8_t(size_t, uint8_t)> noise) {
  if (m_cpu) m_cpu->targetNoise = std::move(noise);
  else if (m_device) m_device->targetNoise = std::move(noise);
}


std::unique_ptr<CSerialDevice> StartRigController(const SimOptions& given, Line line, SettingsStore& store,
                                                  std::unique_ptr<RigController>& sim) {
  sim.reset();
  SimOptions options = given;
  if (RigOnCpu()) {
    // The boot ROM listens at E/1664 after a start byte sent at 1200 baud
    // (1202 with an 8 MHz crystal; MC68HC11F1 data, bootstrap mode), and
    // the talker at the rate its board was built for.
    options.cpu = true;
    options.bootstrapBaud = 1200;
    options.normalBaud = KESTON_TALKER_NORMAL_BAUD;
  }
  store.WriteProfileInt("Comm", "BSB", options.bootstrapBaud);
  store.WriteProfileInt("Comm", "Normal Baud", options.normalBaud);
  if (line == Line::PseudoTerminal) {
    auto controller = std::make_unique<VirtualController>(options);
    if (!controller->Start()) return nullptr;
    store.WriteProfileString("Comm", "Device 1", controller->SlavePath());
    sim = std::make_unique<RigController>(std::move(controller), nullptr);
    return nullptr;
  }
  if (options.cpu) {
    hc11::MachineOptions machine;
    machine.chip = ChipOf(options.chip);
    machine.chipEraseMs = options.eraseTimeMs;
    machine.crystalHz = options.crystalHz;
    auto device = std::make_unique<CCpuDevice>(machine);
    device->SetAdapterLatency(options.adapterLatencyMs);
    store.WriteProfileString("Comm", "Device 1", CCpuDevice::kDefaultName);
    sim = std::make_unique<RigController>(nullptr, nullptr, device.get());
    return device;
  }
  auto device = std::make_unique<CSimDevice>(options);
  store.WriteProfileString("Comm", "Device 1", CSimDevice::kDefaultName);
  sim = std::make_unique<RigController>(nullptr, device.get());
  return device;
}
