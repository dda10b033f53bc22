#pragma once

#include <istream>
#include <memory>
#include <string>

// The user's home folder with a trailing separator: where file dialogs open
// until the user has chosen a folder of their own.
std::string UserHomeFolder();

// Folder separators.  Linux has only '/' (a '\' is part of a name there);
// Windows takes '\' and '/' alike, and its own paths use '\'.
bool IsPathSeparator(char c);
// The separator this system writes when it builds a path.
char PathSeparator();
// The position of the last separator in `path`, or npos.
size_t LastPathSeparator(const std::string& path);
// What follows the last separator (the whole path when there is none).
std::string FileNameOf(const std::string& path);

// An input stream on `path` when it names a regular file that opens, else
// none.  A folder opens as a stream too (an emptied remembered name leaves
// only the folder) and would read as an empty file.
std::unique_ptr<std::istream> OpenRegularFile(const std::string& path);

// Files are only ever written as regular files or new names: true for those.
// A device or a pipe written "as a file" would be replaced (as root, even
// /dev/null) or written into.
bool IsRegularOrNew(const std::string& path);
// "X is not a regular file (a device, a pipe or a folder); ..."
std::string NotARegularFileText(const std::string& path);

#ifdef _WIN32
// The system's text for a Windows error code (GetLastError), without the
// line break and full stop it ends in, so it reads inside our own messages.
std::string WindowsErrorText(unsigned long code);
#endif

// Puts `contents` in the file at `path` in one step: written to a new file
// beside it, flushed to the disk, then moved over the old one, so a reader
// sees the old file or the new one and never half of it.  1 on success; 0
// with `error` set, and the old file untouched.
int ReplaceFileContents(const std::string& path, const std::string& contents, std::string& error);
