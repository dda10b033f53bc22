#pragma once

#include <string>

// The user's home folder with a trailing '/': where file dialogs open until
// the user has chosen a folder of their own.
std::string UserHomeFolder();
