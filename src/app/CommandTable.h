// The program's commands as the menus, the keys and the status bar know them,
// and the rule deciding which handler (if any) a command reaches.  Plain data,
// so the desktop window, the command line and the tests read the same table.
#pragma once

#include <string>
#include <vector>

enum CommandId {
  ID_CONNECT = 32771,
  ID_DISCONNECT = 32772,
  ID_SETTINGS = 32774,
  ID_LOG_COMM = 32775,
  ID_LOG_RUN = 32777,
  ID_FLASH_CONTROLLER = 32780,
  ID_BOOT_LOAD = 32781,
  ID_ERASE_FLASH_CHIP = 32782,
  ID_WRITE_TARGET_RAM = 32783,
  ID_READ_MEMORY = 32784,
  ID_LOAD_MEMORY = 32785,
  ID_SET_CONFIG_EEPROM = 32786,
  ID_CLEAR_PROCESSOR = 32787,
  ID_SAVE_PROGRAM = 32788,
  ID_CHECKSUM_MEMORY = 32792,
  ID_FLASH_ID = 32794,
  ID_FLASH_EEPROM_CHIP = 32795,
  ID_SAVE_MEMORY = 32796,
  ID_FORCE_PROG_CONNECTION = 32798,
  ID_CHANGE_LOADER = 32799,
  ID_QUICK_FLASH = 32800,

  // The framework's standard commands.
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_FILE_SAVE = 57603,
  ID_FILE_SAVE_AS = 57604,
  ID_FILE_PRINT_SETUP = 57606,
  ID_FILE_PRINT = 57607,
  ID_FILE_PRINT_PREVIEW = 57609,
  ID_FILE_MRU_FILE1 = 57616,  // the recent files are FILE1..FILE4
  ID_EDIT_COPY = 57634,
  ID_EDIT_CUT = 57635,
  ID_EDIT_PASTE = 57637,
  ID_EDIT_UNDO = 57643,
  ID_APP_ABOUT = 57664,
  ID_APP_EXIT = 57665,
  ID_NEXT_PANE = 57680,
  ID_PREV_PANE = 57681,
};

inline constexpr int kRecentFileCount = 4;

class CTrellisView;

struct CommandInfo {
  int id = 0;
  std::string menuText;           // with '&' before the mnemonic; empty: no menu item
  std::vector<std::string> keys;  // accelerators as "Ctrl+Q", "Shift+Insert", ...
  std::string prompt;             // status-bar prompt; empty: none
  std::string toolTip;            // toolbar tool tip; empty: not on the toolbar
  // Talks to the target (or reshapes the link under a running exchange), so
  // it must wait while another exchange holds the line.
  bool needsIdleLink = false;
  // The main view's handler (the message map); null for the standard commands.
  void (CTrellisView::*handler)() = nullptr;
};

// Every command, program and standard, in no particular order.
const std::vector<CommandInfo>& CommandTable();
// nullptr for an id that is not in the table.
const CommandInfo* FindCommand(int id);
// True for the commands the main view handles (everything with an id in the
// 32771..32800 block).
bool IsViewCommand(int id);

// The menu bar as a tree: top-level entries are menus or plain items.
struct MenuEntry {
  enum Kind { Item, Separator, Submenu, RecentFiles };
  Kind kind = Item;
  int id = 0;        // Item
  std::string text;  // Submenu title; Item text comes from the table
  std::vector<MenuEntry> children;
};
const std::vector<MenuEntry>& MenuBar();

// The toolbar, left to right; 0 stands for a separator.
const std::vector<int>& ToolBarCommands();

// Who handles a command, given which view is active.  The main view handles
// the program's commands; when a terminal pane is active instead, Disconnect
// still reaches the main view, Save Memory and QuickFlash find a handler (the
// frame's, which does nothing) and every other program command is
// unavailable.
enum class CommandRoute {
  View,         // CTrellisView::OnCommand
  FrameNoOp,    // the frame's handler: available, does nothing
  Application,  // standard commands of the application, document and frame
  Unhandled,    // no handler on the path: shown unavailable
};
CommandRoute RouteCommand(int id, bool mainViewActive);
