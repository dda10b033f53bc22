// The settings as this run sees them: the shared store, with the values that
// command-line options override laid over it.  Overrides are never written
// back, so an option used once does not change what the desktop program or
// the next run finds; everything else reads and writes the shared store.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "shell/SettingsStore.h"

class OverlayStore : public SettingsStore {
 public:
  explicit OverlayStore(SettingsStore& base) : m_base(base) {}

  void Override(const std::string& section, const std::string& key, const std::string& value) {
    m_overrides[{section, key}] = value;
  }
  void Override(const std::string& section, const std::string& key, int value) {
    Override(section, key, std::to_string(value));
  }

  int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) override;
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) override;
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override;
  std::string Location() const override { return m_base.Location(); }

 private:
  SettingsStore& m_base;
  std::map<std::pair<std::string, std::string>, std::string> m_overrides;
};
