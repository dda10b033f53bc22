// The settings store of the console programs on Windows: the registry, laid
// out as QSettings("KESTON_FLASH", "KESTON Flash") lays it out there, so the
// desktop program built for Windows shares it.  Each section is a subkey of
// HKEY_CURRENT_USER\Software\KESTON_FLASH\KESTON Flash, each key a value in
// it: integers as REG_DWORD, strings as REG_SZ (a string starting with '@'
// gets a second one).  Either type is read as either.
//
// Only on Windows; <windows.h> stays out of this header.
#pragma once

#include <string>

#include "shell/SettingsStore.h"

class RegistryStore : public SettingsStore {
 public:
  // The key under HKEY_CURRENT_USER; tests use one of their own.
  explicit RegistryStore(std::string key = "Software\\KESTON_FLASH\\KESTON Flash");

  int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) override;
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) override;
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override;
  std::string Location() const override { return "HKEY_CURRENT_USER\\" + m_key; }

 private:
  std::string m_key;
};
