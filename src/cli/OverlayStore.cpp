#include "cli/OverlayStore.h"

#include <cstdlib>

int OverlayStore::GetProfileInt(const std::string& section, const std::string& key, int defaultValue) {
  auto it = m_overrides.find({section, key});
  if (it == m_overrides.end()) return m_base.GetProfileInt(section, key, defaultValue);
  char* end = nullptr;
  long v = std::strtol(it->second.c_str(), &end, 10);
  if (end == it->second.c_str() || *end) return defaultValue;
  return static_cast<int>(v);
}

bool OverlayStore::WriteProfileInt(const std::string& section, const std::string& key, int value) {
  return m_base.WriteProfileInt(section, key, value);
}

std::string OverlayStore::GetProfileString(const std::string& section, const std::string& key,
                                           const std::string& defaultValue) {
  auto it = m_overrides.find({section, key});
  if (it == m_overrides.end()) return m_base.GetProfileString(section, key, defaultValue);
  return it->second;
}

bool OverlayStore::WriteProfileString(const std::string& section, const std::string& key,
                                      const std::string& value) {
  return m_base.WriteProfileString(section, key, value);
}
