#include "shell/IniFileStore.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "shell/Paths.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsPlainKeyChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.';
}

// Section and key names.  A '/' would start a subgroup for QSettings, which
// writes it as '\'; our names have none, but the mapping is kept both ways.
std::string EscapeKey(const std::string& key) {
  std::string out;
  for (unsigned char c : key) {
    if (c == '/') {
      out += '\\';
    } else if (IsPlainKeyChar(c)) {
      out += static_cast<char>(c);
    } else if (c < 0x80) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);  // UTF-8 as it is
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, unsigned long code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string UnescapeKey(const std::string& key) {
  std::string out;
  for (size_t i = 0; i < key.size(); ++i) {
    const char c = key[i];
    if (c == '\\') {
      out += '/';
    } else if (c == '%' && i + 2 < key.size() && HexValue(key[i + 1]) >= 0 &&
               HexValue(key[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(key[i + 1]) * 16 + HexValue(key[i + 2]));
      i += 2;
    } else if (c == '%' && i + 5 < key.size() && key[i + 1] == 'U') {
      // %UXXXX: a character beyond Latin-1 in an older file.
      unsigned long code = 0;
      bool ok = true;
      for (size_t j = i + 2; j < i + 6; ++j) {
        const int v = HexValue(key[j]);
        ok = ok && v >= 0;
        code = code * 16 + static_cast<unsigned long>(v < 0 ? 0 : v);
      }
      if (!ok) {
        out += c;
        continue;
      }
      AppendUtf8(out, code);
      i += 5;
    } else {
      out += c;
    }
  }
  return out;
}

std::string EscapeValue(const std::string& raw) {
  const std::string value = !raw.empty() && raw[0] == '@' ? "@" + raw : raw;
  std::string out;
  bool quotes = false;
  bool escapeNextIfHex = false;
  for (unsigned char c : value) {
    if (c == ';' || c == ',' || c == '=') quotes = true;
    // After a \x escape a hex digit would read as part of it.
    if (escapeNextIfHex && HexValue(static_cast<char>(c)) >= 0) {
      char text[8];
      std::snprintf(text, sizeof text, "\\x%x", c);
      out += text;
      continue;
    }
    escapeNextIfHex = false;
    switch (c) {
      case '\0':
        out += "\\0";
        escapeNextIfHex = true;
        break;
      case '\a':
        out += "\\a";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\v':
        out += "\\v";
        break;
      case '"':
      case '\\':
        out += '\\';
        out += static_cast<char>(c);
        break;
      default:
        if (c <= 0x1F || c == 0x7F) {
          char text[8];
          std::snprintf(text, sizeof text, "\\x%x", c);
          out += text;
          escapeNextIfHex = true;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  if (quotes || (!out.empty() && (out.front() == ' ' || out.back() == ' '))) out = '"' + out + '"';
  return out;
}

// The value part of a line: quoted stretches kept as they are, blanks outside
// quotes trimmed at both ends, escapes undone.
std::string UnescapeValue(const std::string& text) {
  std::string out;
  bool inQuotes = false;
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  size_t keepTo = 0;  // blanks after this outside quotes are dropped at the end
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      inQuotes = !inQuotes;
      keepTo = out.size();
      continue;
    }
    if (c == '\\' && i + 1 < text.size()) {
      const char e = text[++i];
      switch (e) {
        case 'a':
          out += '\a';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'v':
          out += '\v';
          break;
        case 'x': {
          unsigned long code = 0;
          size_t j = i + 1;
          while (j < text.size() && HexValue(text[j]) >= 0 && j < i + 9) code = code * 16 + HexValue(text[j++]);
          i = j - 1;
          AppendUtf8(out, code);
          break;
        }
        case '0': {
          // \0 and an octal number after it, as QSettings reads it.
          unsigned long code = 0;
          size_t j = i + 1;
          while (j < text.size() && text[j] >= '0' && text[j] <= '7' && j < i + 4) code = code * 8 + (text[j++] - '0');
          i = j - 1;
          AppendUtf8(out, code);
          break;
        }
        case '\r':
        case '\n':
          break;  // a line continued on the next
        default:
          out += e;
      }
      keepTo = out.size();
      continue;
    }
    out += c;
    if (inQuotes || (c != ' ' && c != '\t')) keepTo = out.size();
  }
  out.resize(keepTo);
  if (out.size() >= 2 && out[0] == '@' && out[1] == '@') out.erase(0, 1);
  return out;
}

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return s.substr(a, b - a);
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

IniFileStore::IniFileStore(std::string path) : m_path(std::move(path)) {
  std::string text;
  if (ReadWholeFile(m_path, text)) m_values = Parse(text);
}

IniFileStore::Values IniFileStore::Parse(const std::string& text) {
  Values values;
  std::string section = "General";
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      const size_t close = t.find(']');
      section = UnescapeKey(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      continue;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = UnescapeKey(Trim(t.substr(0, eq)));
    if (key.empty()) continue;
    values[{section, key}] = UnescapeValue(t.substr(eq + 1));
  }
  return values;
}

std::string IniFileStore::Format(const Values& values) {
  std::string text;
  std::string section;
  bool first = true;
  for (const auto& [name, value] : values) {
    if (first || name.first != section) {
      if (!first) text += '\n';
      section = name.first;
      text += '[' + EscapeKey(section) + "]\n";
      first = false;
    }
    text += EscapeKey(name.second) + '=' + EscapeValue(value) + '\n';
  }
  return text;
}

bool IniFileStore::Find(const std::string& section, const std::string& key, std::string& value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_values.find({section, key});
  if (it == m_values.end()) return false;
  value = it->second;
  return true;
}

int IniFileStore::GetProfileInt(const std::string& section, const std::string& key, int defaultValue) {
  std::string text;
  if (!Find(section, key, text)) return defaultValue;
  const std::string t = Trim(text);
  char* end = nullptr;
  const long v = std::strtol(t.c_str(), &end, 10);
  if (t.empty() || *end) return defaultValue;
  return static_cast<int>(v);
}

std::string IniFileStore::GetProfileString(const std::string& section, const std::string& key,
                                           const std::string& defaultValue) {
  std::string text;
  return Find(section, key, text) ? text : defaultValue;
}

bool IniFileStore::WriteProfileInt(const std::string& section, const std::string& key, int value) {
  return Write(section, key, std::to_string(value));
}

bool IniFileStore::WriteProfileString(const std::string& section, const std::string& key,
                                      const std::string& value) {
  return Write(section, key, value);
}

bool IniFileStore::Write(const std::string& section, const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string text;
  if (ReadWholeFile(m_path, text)) m_values = Parse(text);
  m_values[{section, key}] = value;
  std::string error;
  return ReplaceFileContents(m_path, Format(m_values), error) == 1;
}
