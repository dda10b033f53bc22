// An in-memory settings store for tests.
#pragma once

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "shell/SettingsStore.h"

class MemoryStore : public SettingsStore {
 public:
  int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto s = m_values.find(section);
    if (s == m_values.end()) return defaultValue;
    auto k = s->second.find(key);
    if (k == s->second.end()) return defaultValue;
    const char* text = k->second.c_str();
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end) return defaultValue;
    return static_cast<int>(v);
  }
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values[section][key] = std::to_string(value);
    ++m_writes;
    return true;
  }
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto s = m_values.find(section);
    if (s == m_values.end()) return defaultValue;
    auto k = s->second.find(key);
    return k == s->second.end() ? defaultValue : k->second;
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values[section][key] = value;
    ++m_writes;
    return true;
  }

  bool Has(const std::string& section, const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto s = m_values.find(section);
    return s != m_values.end() && s->second.count(key) != 0;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values.clear();
    m_writes = 0;
  }
  int Writes() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writes;
  }

 private:
  std::mutex m_mutex;
  std::map<std::string, std::map<std::string, std::string>> m_values;
  int m_writes = 0;
};
