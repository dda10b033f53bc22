// A settings store in an INI file, written the way QSettings writes its
// IniFormat files, so that a file made by either is read by the other: the
// console programs use it where there is no Qt (the Windows build), for a
// settings file named on the command line.
//
// Sections are "[Section]" lines, keys "Key=Value" lines; in both, characters
// other than letters, digits, '_', '-' and '.' are written as %XX ("Normal
// Baud" is Normal%20Baud).  A value with ';', ',' or '=' in it, or starting or
// ending with a blank, is put in double quotes; '\' and '"' and control
// characters are escaped with '\'.  A string that starts with '@' gets a
// second one.  Text is UTF-8.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "shell/SettingsStore.h"

class IniFileStore : public SettingsStore {
 public:
  explicit IniFileStore(std::string path);

  int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) override;
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) override;
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override;
  std::string Location() const override { return m_path; }

  // The file's text for these values, and back; exposed for the tests.
  using Values = std::map<std::pair<std::string, std::string>, std::string>;
  static std::string Format(const Values& values);
  static Values Parse(const std::string& text);

 private:
  bool Find(const std::string& section, const std::string& key, std::string& value);
  // Reads the file again (another program may have changed it), sets the
  // one value and puts the whole file back in one step.
  bool Write(const std::string& section, const std::string& key, const std::string& value);

  std::string m_path;
  std::mutex m_mutex;
  Values m_values;
};
