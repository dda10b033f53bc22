#include "TalkerRig.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "shell/SettingsStore.h"
#include "support/Wire.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"

Bytes TalkerImage(const std::string& s19Path) {
  Bytes image;
  std::ifstream in(s19Path);
  EXPECT_TRUE(in) << s19Path;
  auto hex = [](const std::string& s, size_t at) {
    return static_cast<unsigned>(std::stoul(s.substr(at, 2), nullptr, 16));
  };
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 4 || line[0] != 'S' || line[1] != '1') continue;
    const unsigned count = hex(line, 2);
    EXPECT_EQ(line.size(), 4 + 2 * count) << line;
    if (line.size() != 4 + 2 * count) return {};
    unsigned sum = count;
    for (unsigned i = 0; i + 1 < count; ++i) sum += hex(line, 4 + 2 * i);
    EXPECT_EQ((~sum) & 0xFF, hex(line, 2 + 2 * count)) << "checksum: " << line;
    const unsigned address = hex(line, 4) << 8 | hex(line, 6);
    // The download sends the image from address 0 without gaps.
    EXPECT_EQ(address, image.size()) << line;
    for (unsigned i = 2; i + 1 < count; ++i) image.push_back(static_cast<uint8_t>(hex(line, 4 + 2 * i)));
  }
  return image;
}

std::string SRecords(const Bytes& bytes, unsigned origin) { return SRecordText({{origin, bytes}}); }

void TalkerRig::SetUp() {
  shell.Install();
  g_settings = &store;
  UseLoader(KESTON_TALKER_DIR, "talker.s19");
  shell.onDispatch = [this] {
    if (!device || !link) return false;
    if (m_action && device->HostByteCount() >= m_actionAt) {
      auto action = std::move(m_action);
      m_action = nullptr;
      action();
    }
    if (m_patience <= 0) return false;
    const size_t heard = device->TargetLog().size();
    if (heard != m_heardCount) {
      m_heardCount = heard;
      m_lastHeard = device->Now();
    } else if (device->Now() - m_lastHeard > m_patience && link->Connected()) {
      gaveUp = true;
      link->ClosePort();
    }
    return false;
  };
}

void TalkerRig::TearDown() {
  talker.reset();
  link.reset();
  device = nullptr;
  g_settings = nullptr;
}

void TalkerRig::UseLoader(const std::string& directory, const std::string& name) {
  store.WriteProfileString("file", "BOOT PATH", directory + "/");
  store.WriteProfileString("file", "BOOT NAME", name);
  ForgetBootFileChoice();
}

void TalkerRig::Start(const Board& board) {
  talker.reset();
  link.reset();
  hc11::MachineOptions options;
  options.chip = board.chip;
  options.chipEraseMs = board.eraseMs;
  options.crystalHz = board.crystalHz;
  // An adapter that makes another rate than the one asked for.
  class MappedRateDevice : public CCpuDevice {
   public:
    MappedRateDevice(const hc11::MachineOptions& o, std::function<int(int)> map)
        : CCpuDevice(o), m_map(std::move(map)) {}
    bool SetCommState(const CommState& state) override {
      CommState made = state;
      made.baudRate = m_map(state.baudRate);
      return CCpuDevice::SetCommState(made);
    }

   private:
    std::function<int(int)> m_map;
  };
  std::unique_ptr<CCpuDevice> owned = board.adapterRate
                                          ? std::make_unique<MappedRateDevice>(options, board.adapterRate)
                                          : std::make_unique<CCpuDevice>(options);
  device = owned.get();
  store.WriteProfileString("Comm", "Device 1", CCpuDevice::kDefaultName);
  store.WriteProfileInt("Comm", "BSB", board.bootBaud);
  store.WriteProfileInt("Comm", "Normal Baud", board.normalBaud);
  link = std::make_unique<CLink>(std::move(owned));
  link->ReadSettings();
  talker = std::make_unique<CTalker>(*link);
}

void TalkerRig::Boot() {
  ASSERT_TRUE(device);
  device->ResetTarget();
  OpResult result;
  ASSERT_EQ(BootLoad(*talker, true, &result), 1) << result.detail;
  ASSERT_TRUE(result.Ok()) << OutcomeName(result.outcome) << ": " << result.detail;
  ASSERT_TRUE(link->Connected() && link->BootMode());
  ASSERT_TRUE(device->LoaderRunning());
  ASSERT_EQ(machine().Crash(), "");
  // The first contact's acknowledgement may still be on the wire when
  // BootLoad returns; let it land so a test starts from a quiet line.
  device->Run(0.01);
  device->ClearTrace();
  talker->ClearFault();
  gaveUp = false;
}

void TalkerRig::GiveUpAfterSilence(double seconds) {
  m_patience = seconds;
  m_heardCount = device ? device->TargetLog().size() : 0;
  m_lastHeard = device ? device->Now() : 0;
}

void TalkerRig::AtHostByte(size_t count, std::function<void()> action) {
  m_actionAt = count;
  m_action = std::move(action);
}

void TalkerRig::ExpectSilence(double seconds) {
  const size_t host = device->HostBytes().size(), target = device->TargetLog().size();
  device->Run(seconds);
  EXPECT_EQ(device->HostBytes().size(), host) << "the host sent more";
  EXPECT_EQ(device->TargetLog().size(), target) << "the talker sent something unprompted";
}

void ChipReadRig::SetUp() {
  TalkerRig::SetUp();
  Start();
  Boot();
  GiveUpAfterSilence(3.0);
  std::copy(chip.begin(), chip.end(), flash().begin() + 0x8000);
}

int ChipReadRig::ReadChip(const std::function<int(CProgrammer&)>& read) {
  CProgrammer image;
  const int result = read(image);
  for (unsigned i = 0; i < chip.size() && result; ++i)
    if (image.GetImageByte(0x8000 + i) != chip[i]) return -1;
  return result;
}

int TalkerRig::RunWriter(const std::string& writer, unsigned address, const Bytes& data) {
  CProgrammer image;
  for (unsigned i = 0; i < data.size(); ++i) image.SetImageByte(address + i, data[i]);
  const unsigned last = static_cast<unsigned>(data.size() - 1);
  if (writer == "WriteFlash") return WriteFlash(*talker, address, image, last, true);
  if (writer == "WriteFlashBlocks") return WriteFlashBlocks(*talker, address, image, last, true);
  return WriteEepromBlock(*talker, address, image, last);
}

Bytes TalkerRig::TargetHolds(unsigned address, size_t size) {
  const auto n = static_cast<long>(size);
  if (address == 0x0E00) return Bytes(machine().Eeprom().begin(), machine().Eeprom().begin() + n);
  return Bytes(flash().begin() + address, flash().begin() + address + n);
}
