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
  // Where the settings live, for messages about them ("" when nowhere a
  // user could look).
  virtual std::string Location() const { return std::string(); }
};

// The one store of the process; set by main() or by a test before use.
extern SettingsStore* g_settings;

// Shorthands over g_settings (defaults are returned when no store is set).
int GetProfileInt(const std::string& section, const std::string& key, int defaultValue);
bool WriteProfileInt(const std::string& section, const std::string& key, int value);
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue);
bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value);
// A stored integer that must lie within [low, high].  One outside it (edited
// by hand, left by another version) gives the default instead, and a message
// naming the setting and where it is stored is shown once per process; the
// bad value is never passed on, so it is never written back either.
int GetProfileIntInRange(const std::string& section, const std::string& key, int defaultValue, int low, int high);
