#pragma once

#include <istream>
#include <memory>
#include <string>

// The user's home folder with a trailing '/': where file dialogs open until
// the user has chosen a folder of their own.
std::string UserHomeFolder();

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
