#include "app/TrellisDoc.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "shell/SettingsStore.h"

namespace {

const char* const kRecentSection = "Recent File List";

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CRecentFileList::CRecentFileList(int size) : m_size(size) {}

void CRecentFileList::ReadList() {
  m_files.clear();
  for (int i = 0; i < m_size; ++i) {
    std::string path = GetProfileString(kRecentSection, "File" + std::to_string(i + 1), "");
    if (!path.empty()) m_files.push_back(path);
  }
}

void CRecentFileList::WriteList() {
  for (int i = 0; i < m_size; ++i) {
    WriteProfileString(kRecentSection, "File" + std::to_string(i + 1),
                       i < static_cast<int>(m_files.size()) ? m_files[i] : std::string());
  }
}

void CRecentFileList::Add(const std::string& added) {
  // A copy: the caller may pass one of our own entries, which moves below.
  const std::string path = added;
  if (path.empty()) return;
  for (size_t i = 0; i < m_files.size(); ++i) {
    if (m_files[i] == path) {
      m_files.erase(m_files.begin() + static_cast<long>(i));
      break;
    }
  }
  m_files.insert(m_files.begin(), path);
  if (static_cast<int>(m_files.size()) > m_size) m_files.resize(static_cast<size_t>(m_size));
}

void CRecentFileList::Remove(int index) {
  if (index >= 0 && index < static_cast<int>(m_files.size())) m_files.erase(m_files.begin() + index);
}

std::string CRecentFileList::MenuText(int index) const {
  if (index < 0 || index >= static_cast<int>(m_files.size())) return std::string();
  // A '&' in a file name would otherwise turn the next letter into a mnemonic.
  std::string text = "&";
  text += std::to_string(index + 1);
  text += ' ';
  for (char c : FileNameOf(m_files[static_cast<size_t>(index)])) {
    if (c == '&') text += '&';
    text += c;
  }
  return text;
}

CTrellisDoc::CTrellisDoc() : m_title(kNewTitle) {}

bool CTrellisDoc::OnNewDocument() {
  m_pathName.clear();
  m_title = kNewTitle;
  return true;
}

bool CTrellisDoc::OnOpenDocument(const std::string& path, std::string& error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = std::strerror(errno);
    return false;
  }
  std::fclose(f);  // nothing in it is ours to read
  m_pathName = path;
  m_title = FileNameOf(path);
  return true;
}

bool CTrellisDoc::OnSaveDocument(const std::string& path, std::string& error) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    error = std::strerror(errno);
    return false;
  }
  if (std::fclose(f) != 0) {
    error = std::strerror(errno);
    return false;
  }
  m_pathName = path;
  m_title = FileNameOf(path);
  return true;
}

std::string CTrellisDoc::FrameTitle() const { return m_title + " - KESTON Flash"; }
