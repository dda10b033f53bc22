#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "shell/RegistryStore.h"

namespace {

// Names and strings are UTF-8 in the program and UTF-16 in the registry.
std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// A value as text: REG_SZ as it is, REG_DWORD in decimal.  false when the
// value is not there (or of a type we never write).
bool ReadValue(const std::string& root, const std::string& section, const std::string& key, std::string& text) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(root + "\\" + section).c_str(), 0, KEY_QUERY_VALUE, &handle) !=
      ERROR_SUCCESS)
    return false;
  const std::wstring name = Wide(key);
  DWORD type = 0;
  DWORD size = 0;
  bool found = false;
  if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> data(size + sizeof(wchar_t));
    if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
      if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD v = 0;
        memcpy(&v, data.data(), sizeof v);
        text = std::to_string(static_cast<int>(v));
        found = true;
      } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring w(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        while (!w.empty() && w.back() == L'\0') w.pop_back();
        text = Narrow(w);
        // QSettings keeps a leading '@' for its own markers and doubles a real one.
        if (text.size() >= 2 && text[0] == '@' && text[1] == '@') text.erase(0, 1);
        found = true;
      }
    }
  }
  RegCloseKey(handle);
  return found;
}

bool WriteValue(const std::string& root, const std::string& section, const std::string& key, DWORD type,
                const BYTE* data, DWORD size) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(root + "\\" + section).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS)
    return false;
  const bool ok = RegSetValueExW(handle, Wide(key).c_str(), 0, type, data, size) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}

}  // namespace

RegistryStore::RegistryStore(std::string key) : m_key(std::move(key)) {}

int RegistryStore::GetProfileInt(const std::string& section, const std::string& key, int defaultValue) {
  std::string text;
  if (!ReadValue(m_key, section, key, text)) return defaultValue;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end) return defaultValue;
  return static_cast<int>(v);
}

std::string RegistryStore::GetProfileString(const std::string& section, const std::string& key,
                                            const std::string& defaultValue) {
  std::string text;
  return ReadValue(m_key, section, key, text) ? text : defaultValue;
}

bool RegistryStore::WriteProfileInt(const std::string& section, const std::string& key, int value) {
  const DWORD v = static_cast<DWORD>(value);
  return WriteValue(m_key, section, key, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

bool RegistryStore::WriteProfileString(const std::string& section, const std::string& key,
                                       const std::string& value) {
  const std::wstring w = Wide(!value.empty() && value[0] == '@' ? "@" + value : value);
  return WriteValue(m_key, section, key, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                    static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
}
