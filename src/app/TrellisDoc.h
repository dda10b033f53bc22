// The document of the single-document window.  It holds nothing: New starts
// an empty one, Open reads nothing from the file it names, Save writes a file
// without content.  What it does keep is the title and the recent-file list.
#pragma once

#include <string>
#include <vector>

#include "app/CommandTable.h"

// The framework's list of the last documents, kept in the settings store
// (section "Recent File List", "File1" is the newest).
class CRecentFileList {
 public:
  explicit CRecentFileList(int size = kRecentFileCount);
  void ReadList();   // from the settings store
  void WriteList();  // to the settings store
  void Add(const std::string& path);
  void Remove(int index);
  const std::vector<std::string>& Files() const { return m_files; }
  int Size() const { return m_size; }
  // "&1 name" for the menu; the folder is left out.
  std::string MenuText(int index) const;

 private:
  int m_size;
  std::vector<std::string> m_files;
};

class CTrellisDoc {
 public:
  CTrellisDoc();

  // The title of a new document.
  static constexpr const char* kNewTitle = "KESTON Flash";

  bool OnNewDocument();
  // false with `error` set when the file cannot be read; the document is then
  // unchanged.
  bool OnOpenDocument(const std::string& path, std::string& error);
  // Writes the (empty) document; false with `error` set when the file could
  // not be written completely.
  bool OnSaveDocument(const std::string& path, std::string& error);

  const std::string& GetPathName() const { return m_pathName; }
  const std::string& GetTitle() const { return m_title; }
  // "<document title> - KESTON Flash", the frame's caption.
  std::string FrameTitle() const;

 private:
  std::string m_pathName;
  std::string m_title;
};
