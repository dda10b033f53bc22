#include "app/CommandTable.h"

#include "app/TrellisView.h"

#include <algorithm>

namespace {

std::vector<CommandInfo> BuildTable() {
  // Program commands: id, menu text, keys, prompt, tool tip, needs an idle link, handler.
  std::vector<CommandInfo> t = {
      // Opening the port under a running exchange would restart the line that
      // exchange is still using; after a Disconnect it first has to unwind.
      {ID_CONNECT, "&Connect", {"F7"}, "Connects to the COM port", "", true, &CTrellisView::OnConnect},
      {ID_DISCONNECT, "&Disconnect", {"F8"}, "Disconnects from the COM port", "", false, &CTrellisView::OnDisconnect},
      // A boot load reopens the line from the link's settings half way
      // through; changing them under it would reopen at another rate.
      {ID_SETTINGS, "&Settings...", {"Alt+S"}, "Change the COM settings", "", true, &CTrellisView::OnSettings},
      {ID_LOG_COMM, "", {"Alt+L"}, "Log all communication bytes to a file", "", false, &CTrellisView::OnLogComm},
      {ID_LOG_RUN, "", {}, "Logs run data to a file", "", false, &CTrellisView::OnLogRun},
      {ID_BOOT_LOAD, "&Boot Load", {}, "Initializes re-programming Connection", "", true, &CTrellisView::OnBootLoad},
      {ID_QUICK_FLASH,
       "&QuickFlash",
       {"Ctrl+Q"},
       "Flashes with previous file and settings w/o dialogs",
       "",
       true, &CTrellisView::OnQuickFlash},
      {ID_ERASE_FLASH_CHIP,
       "&Erase Flash Chip",
       {},
       "Erases the Controller's Program.  Used for flash chips requiring erasure before programming.",
       "",
       true, &CTrellisView::OnEraseFlashChip},
      {ID_FLASH_CONTROLLER, "&Flash Controller", {}, "Flashes a new program into the controller", "", true, &CTrellisView::OnFlashController},
      {ID_SAVE_PROGRAM, "&Save Program", {}, "This saves controller program to file", "", true, &CTrellisView::OnSaveProgram},
      {ID_WRITE_TARGET_RAM, "Write target RAM", {}, "Writes Controller memory", "", true, &CTrellisView::OnWriteTargetRam},
      {ID_READ_MEMORY, "Read Memory", {}, "", "", true, &CTrellisView::OnReadMemory},
      {ID_LOAD_MEMORY, "Load Memory", {}, "Loads a file into PC memory", "", false, &CTrellisView::OnLoadMemory},
      {ID_SAVE_MEMORY, "Save Memory", {}, "", "", false, &CTrellisView::OnSaveMemory},
      {ID_SET_CONFIG_EEPROM,
       "Set Config /EEPROM",
       {},
       "This writes the config register or any other eeprom value. ",
       "",
       true, &CTrellisView::OnSetConfigEeprom},
      {ID_CLEAR_PROCESSOR,
       "Clear Processor",
       {},
       "This bulk erases the Processor for factory new feel",
       "",
       true, &CTrellisView::OnClearProcessor},
      {ID_CHECKSUM_MEMORY, "&Checksum Memory", {}, "Calculates a checksum for a file", "", false, &CTrellisView::OnChecksumMemory},
      {ID_FLASH_ID, "&Flash ID", {}, "", "", true, &CTrellisView::OnFlashId},
      {ID_FLASH_EEPROM_CHIP, "&Flash EEPROM CHIP", {}, "Programs an EEPROM Flash chip", "", true, &CTrellisView::OnFlashEepromChip},
      {ID_CHANGE_LOADER, "Change Loader", {}, "clears saved filename", "", false, &CTrellisView::OnChangeLoader},
      {ID_FORCE_PROG_CONNECTION,
       "&Force Prog Connection",
       {},
       "Forces Boot Connection to be viewed as Good",
       "",
       true, &CTrellisView::OnForceProgConnection},

      // Standard commands.
      {ID_FILE_NEW, "&New", {"Ctrl+N"}, "Create a new document", "New", false},
      {ID_FILE_OPEN, "&Open...", {"Ctrl+O"}, "Open an existing document", "Open", false},
      {ID_FILE_SAVE, "&Save", {"Ctrl+S"}, "Save the active document", "Save", false},
      {ID_FILE_SAVE_AS, "Save &As...", {}, "Save the active document with a new name", "", false},
      {ID_FILE_PRINT, "&Print...", {"Ctrl+P"}, "Print the active document", "Print", false},
      {ID_FILE_PRINT_PREVIEW, "Print Pre&view", {}, "Display full pages", "", false},
      {ID_FILE_PRINT_SETUP, "P&rint Setup...", {}, "Change the printer and printing options", "", false},
      {ID_APP_EXIT, "E&xit", {}, "Quit the application", "", false},
      {ID_APP_ABOUT,
       "&About KESTON Flash",
       {},
       "Display program information, version number and copyright",
       "About",
       false},
      {ID_EDIT_CUT,
       "",
       {"Ctrl+X", "Shift+Del"},
       "Cut the selection and put it on the Clipboard",
       "Cut",
       false},
      {ID_EDIT_COPY,
       "",
       {"Ctrl+C", "Ctrl+Ins"},
       "Copy the selection and put it on the Clipboard",
       "Copy",
       false},
      {ID_EDIT_PASTE, "", {"Ctrl+V", "Shift+Ins"}, "Insert Clipboard contents", "Paste", false},
      {ID_EDIT_UNDO, "", {"Ctrl+Z", "Alt+Backspace"}, "Undo the last action", "", false},
      {ID_NEXT_PANE, "", {"F6"}, "Switch to the next window pane", "", false},
      {ID_PREV_PANE, "", {"Shift+F6"}, "Switch back to the previous window pane", "", false},
  };
  for (int i = 0; i < kRecentFileCount; ++i) {
    t.push_back({ID_FILE_MRU_FILE1 + i, "", {}, "Open this document", "", false});
  }
  return t;
}

MenuEntry Item(int id) {
  MenuEntry e;
  e.kind = MenuEntry::Item;
  e.id = id;
  return e;
}
MenuEntry Separator() {
  MenuEntry e;
  e.kind = MenuEntry::Separator;
  return e;
}
MenuEntry Submenu(const std::string& text, std::vector<MenuEntry> children) {
  MenuEntry e;
  e.kind = MenuEntry::Submenu;
  e.text = text;
  e.children = std::move(children);
  return e;
}

std::vector<MenuEntry> BuildMenuBar() {
  MenuEntry recent;
  recent.kind = MenuEntry::RecentFiles;
  return {
      Submenu("&File", {Item(ID_FILE_NEW), Item(ID_FILE_OPEN), Item(ID_FILE_SAVE), Item(ID_FILE_SAVE_AS),
                        Separator(), Item(ID_FILE_PRINT), Item(ID_FILE_PRINT_PREVIEW),
                        Item(ID_FILE_PRINT_SETUP), Separator(), recent, Separator(), Item(ID_APP_EXIT)}),
      Submenu("&Memory Actions",
              {Item(ID_ERASE_FLASH_CHIP), Item(ID_FLASH_CONTROLLER), Separator(),
               Submenu("Special", {Item(ID_SAVE_PROGRAM), Item(ID_WRITE_TARGET_RAM), Item(ID_READ_MEMORY),
                                   Item(ID_LOAD_MEMORY), Item(ID_SAVE_MEMORY), Item(ID_SET_CONFIG_EEPROM),
                                   Item(ID_CLEAR_PROCESSOR), Item(ID_CHECKSUM_MEMORY), Item(ID_FLASH_ID),
                                   Item(ID_FLASH_EEPROM_CHIP), Item(ID_CHANGE_LOADER)}),
               Submenu("Comm Actions", {Item(ID_FORCE_PROG_CONNECTION)})}),
      Item(ID_SETTINGS),
      Item(ID_BOOT_LOAD),
      Item(ID_CONNECT),
      Item(ID_DISCONNECT),
      Item(ID_QUICK_FLASH),
      Submenu("&Help", {Item(ID_APP_ABOUT)}),
  };
}

}  // namespace

const std::vector<CommandInfo>& CommandTable() {
  static const std::vector<CommandInfo> table = BuildTable();
  return table;
}

const CommandInfo* FindCommand(int id) {
  const std::vector<CommandInfo>& t = CommandTable();
  auto it = std::find_if(t.begin(), t.end(), [id](const CommandInfo& c) { return c.id == id; });
  return it == t.end() ? nullptr : &*it;
}

bool IsViewCommand(int id) { return id >= ID_CONNECT && id <= ID_QUICK_FLASH && FindCommand(id) != nullptr; }

const std::vector<MenuEntry>& MenuBar() {
  static const std::vector<MenuEntry> bar = BuildMenuBar();
  return bar;
}

const std::vector<int>& ToolBarCommands() {
  static const std::vector<int> bar = {ID_FILE_NEW,   ID_FILE_OPEN, ID_FILE_SAVE,  0,
                                       ID_EDIT_CUT,   ID_EDIT_COPY, ID_EDIT_PASTE, 0,
                                       ID_FILE_PRINT, ID_APP_ABOUT};
  return bar;
}

CommandRoute RouteCommand(int id, bool mainViewActive) {
  if (IsViewCommand(id)) {
    // Disconnect is the one way to stop a transfer, so a click into a pane
    // (even one made while the transfer runs) must never take it away.
    if (mainViewActive || id == ID_DISCONNECT) return CommandRoute::View;
    if (id == ID_SAVE_MEMORY || id == ID_QUICK_FLASH) return CommandRoute::FrameNoOp;
    return CommandRoute::Unhandled;
  }
  switch (id) {
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_EDIT_PASTE:
    case ID_EDIT_UNDO:
      return CommandRoute::Unhandled;  // nothing in the program edits text
    default:
      return FindCommand(id) ? CommandRoute::Application : CommandRoute::Unhandled;
  }
}
