// The virtual controller as a test sees it, whether it runs in this process
// behind the link's in-process device or behind a pseudo-terminal, and
// whether the C++ talker model answers or the talker the build assembled
// runs on the emulated MC68HC11F1.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimDevice.h"
#include "sim/VirtualController.h"
#include "sim/hc11/CpuDevice.h"

// Where the controller runs.
enum class Line { InProcess, PseudoTerminal };

// What answers on the line: the C++ model of a talker, or the built
// talker.s19 downloaded into the emulated CPU.  The environment chooses:
// KESTON_RIG=cpu runs a suite against the CPU, anything else the model.
enum class Backend { Model, Cpu };
Backend RigBackend();
inline bool RigOnCpu() { return RigBackend() == Backend::Cpu; }

// The loader a suite boot-loads: the built talker on the CPU, the stand-in
// loader (whose marker starts the model) otherwise.  The folder ends in '/'.
std::string RigLoaderDir(const std::string& sourceDir);
std::string RigLoaderName();
// The talker the build assembled, as bytes from address 0.
std::vector<uint8_t> RigTalkerImage();

// The controller as the tests see it, whichever line it is behind.
class RigController {
 public:
  RigController(std::unique_ptr<VirtualController> pty, CSimDevice* device, CCpuDevice* cpu = nullptr)
      : m_pty(std::move(pty)), m_device(device), m_cpu(cpu) {}
  ~RigController();

  uint8_t Read(unsigned address) const;
  void Write(unsigned address, uint8_t value);
  std::vector<uint8_t> Flash() const;
  void LoadFlash(const std::vector<uint8_t>& bytes, unsigned address = 0);
  std::vector<uint8_t> Eeprom() const;
  void SetEeprom(const std::vector<uint8_t>& cells);
  // CONFIG as the CPU reads it (in bootstrap mode the host writes it
  // directly), and the EEPROM cell it is loaded from at reset, which only
  // the programming sequence changes.  The model keeps one value for both.
  uint8_t Config() const;
  uint8_t ConfigCell() const;
  void SetConfig(uint8_t value);  // both
  std::vector<uint8_t> LoaderBytes() const;
  SimMode Mode() const;
  void ResetIntoBootstrap();
  std::vector<uint8_t> HostBytes() const;
  std::vector<uint8_t> TargetBytes() const;
  void ClearTrace();
  std::string SlavePath() const;

  // Line faults.  On the CPU the talker has no fault levers of its own: the
  // echo and complement faults spoil the talker's byte that carries them
  // on the wire, and a stall freezes the CPU.
  void DropHostBytes(int count);
  void CorruptEcho(int nthDataByte);
  void WrongComplementNextCommand();
  void Stall();
  void HangUp();
  void SetRandomCorruption(double rate, uint32_t seed);
  // In process only: the line is gone once the host has written `count`
  // bytes since the trace was cleared; noise filters on each direction
  // (index in that direction's trace since it was cleared, byte -> byte).
  void HangUpAfterHostBytes(size_t count);
  void SetHostNoise(std::function<uint8_t(size_t, uint8_t)> noise);
  void SetTargetNoise(std::function<uint8_t(size_t, uint8_t)> noise);

  bool InProcess() const { return !m_pty; }
  bool OnCpu() const { return m_cpu || (m_pty && m_pty->UsesCpu()); }
  VirtualController* Pty() { return m_pty.get(); }
  CSimDevice* Device() { return m_device; }
  CCpuDevice* Cpu() { return m_cpu; }

 private:
  std::unique_ptr<VirtualController> m_pty;
  CSimDevice* m_device = nullptr;  // owned by the view's link
  CCpuDevice* m_cpu = nullptr;     // likewise
};


class SettingsStore;

// Starts a controller behind `line`, on the backend RigBackend() names,
// stores the port settings that reach it in `store` ("Comm": Device 1, BSB,
// Normal Baud) and puts it in `sim`.  On the CPU the rates are the board's:
// the boot ROM's 1200 baud download and the talker's normal rate, whatever
// `options` says.  Returns the device a view's link must use: an in-process
// one, or null for the system's serial device on the pseudo-terminal.
std::unique_ptr<CSerialDevice> StartRigController(const SimOptions& options, Line line, SettingsStore& store,
                                                  std::unique_ptr<RigController>& sim);
