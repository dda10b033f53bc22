// The settings store of the desktop program and the command line:
// QSettings("KESTON_FLASH", "KESTON Flash"), which is the registry on Windows
// and an INI file under the user's configuration folder on Linux.
#pragma once

#include <memory>

#include "shell/SettingsStore.h"

class QSettings;

class QSettingsStore : public SettingsStore {
 public:
  QSettingsStore();
  // For a store kept in a file of its own (the demo profile, tests).
  explicit QSettingsStore(const std::string& iniPath);
  ~QSettingsStore() override;

  int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) override;
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) override;
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override;
  std::string Location() const override;

 private:
  std::unique_ptr<QSettings> m_settings;
};
