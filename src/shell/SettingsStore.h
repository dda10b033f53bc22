// The per-user settings store: integers and strings under sections and keys.
// The desktop program and the command line keep it in QSettings; tests keep
// it in memory.
#pragma once

#include <string>

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) = 0;
  virtual bool WriteProfileInt(const std::string& section, const std::string& key, int value) = 0;
  virtual std::string GetProfileString(const std::string& section, const std::string& key,
                                       const std::string& defaultValue) = 0;
  virtual bool WriteProfileString(const std::string& section, const std::string& key,
                                  const std::string& value) = 0;
};

// The one store of the process; set by main() or by a test before use.
extern SettingsStore* g_settings;

// Shorthands over g_settings (defaults are returned when no store is set).
int GetProfileInt(const std::string& section, const std::string& key, int defaultValue);
bool WriteProfileInt(const std::string& section, const std::string& key, int value);
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue);
bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value);
