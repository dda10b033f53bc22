// The virtual controller as a test sees it, whether it runs in this process
// behind the link's in-process device or behind a pseudo-terminal.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/SimDevice.h"
#include "sim/VirtualController.h"

// Where the controller runs.
enum class Line { InProcess, PseudoTerminal };

// The controller as the tests see it, whichever line it is behind.
class RigController {
 public:
  RigController(std::unique_ptr<VirtualController> pty, CSimDevice* device) : m_pty(std::move(pty)), m_device(device) {}
  ~RigController();

  uint8_t Read(unsigned address) const;
  void Write(unsigned address, uint8_t value);
  std::vector<uint8_t> Flash() const;
  void LoadFlash(const std::vector<uint8_t>& bytes, unsigned address = 0);
  std::vector<uint8_t> Eeprom() const;
  void SetEeprom(const std::vector<uint8_t>& cells);
  uint8_t Config() const;
  void SetConfig(uint8_t value);
  std::vector<uint8_t> LoaderBytes() const;
  SimMode Mode() const;
  void ResetIntoBootstrap();
  std::vector<uint8_t> HostBytes() const;
  std::vector<uint8_t> TargetBytes() const;
  void ClearTrace();
  std::string SlavePath() const;

  void DropHostBytes(int count);
  void CorruptEcho(int nthDataByte);
  void WrongComplementNextCommand();
  void Stall();
  void HangUp();
  void SetRandomCorruption(double rate, uint32_t seed);

  VirtualController* Pty() { return m_pty.get(); }
  CSimDevice* Device() { return m_device; }

 private:
  std::unique_ptr<VirtualController> m_pty;
  CSimDevice* m_device = nullptr;  // owned by the view's link
};


class SettingsStore;

// Starts a controller behind `line`, stores the port settings that reach it
// in `store` ("Comm": Device 1, BSB, Normal Baud) and puts it in `sim`.
// Returns the device a view's link must use: the in-process one, or null for
// the system's serial device on the pseudo-terminal.
std::unique_ptr<CSerialDevice> StartRigController(const SimOptions& options, Line line, SettingsStore& store,
                                                  std::unique_ptr<RigController>& sim);
