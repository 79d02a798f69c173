// Reader of the resource scripts of the resource library, for builds
// outside Windows.
//
// windres compiles qmbrc.rc into QMBRC.dll on Windows. Elsewhere rcgen reads
// the same script with this parser and emits the C++ tables of
// resource_table.h. The parser accepts a deliberately small subset of the
// resource-script language and refuses everything else with a located
// message, so that a construct added to the script for windres can never be
// dropped silently from the other build:
//   - the preprocessor: comments, #include "file" (and the system headers
//     <windows.h>, <commctrl.h>, <winresrc.h>, <winres.h>, whose style and
//     identifier names are built in), object-like #define, #undef, #ifdef,
//     #ifndef, #else, #endif, #pragma code_page;
//   - STRINGTABLE blocks of (number, "text") pairs;
//   - DIALOG and DIALOGEX templates with STYLE, EXSTYLE, CAPTION and FONT and
//     the control statements CONTROL, LTEXT, RTEXT, CTEXT, EDITTEXT,
//     PUSHBUTTON, DEFPUSHBUTTON, GROUPBOX, CHECKBOX, AUTOCHECKBOX,
//     RADIOBUTTON, AUTORADIOBUTTON, LISTBOX and COMBOBOX;
//   - numeric expressions with | + - ~ and parentheses, and NOT inside
//     style lists (it removes bits from the statement's implied styles).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rcgen {

struct StringResource {
  uint32_t id = 0;
  std::string text;  // escapes resolved
};

struct ControlResource {
  int id = 0;             // -1 for unnamed static controls
  std::string className;  // "BUTTON", "EDIT", "STATIC", ... or a registered class name
  std::string text;
  uint32_t style = 0;  // implied styles included (WS_CHILD | WS_VISIBLE, ...)
  uint32_t exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
};

struct DialogResource {
  uint32_t id = 0;
  bool extended = false;  // DIALOGEX
  std::string caption;
  uint32_t style = 0;  // as the template stores it (WS_CAPTION, DS_SETFONT added)
  uint32_t exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  int fontSize = 0;  // 0: no FONT statement
  std::string fontName;
  std::vector<ControlResource> controls;  // in script order (the tab order)
};

struct ResourceScript {
  std::vector<StringResource> strings;  // sorted by id, ids unique
  std::vector<DialogResource> dialogs;  // sorted by id, ids unique
};

// Supplies the text of an included file; false when it cannot be read.
using FileReader = std::function<bool(const std::string& path, std::string* text)>;

struct ParseOptions {
  // Folders searched for #include "file" after the including file's folder.
  std::vector<std::string> includeDirs;
  // Null: read from the disk.
  FileReader reader;
};

// Parses a script held in memory; fileName names it in messages and gives
// the folder for its includes. On failure returns false and sets error to
// "file:line: what".
bool parseScript(const std::string& text, const std::string& fileName, const ParseOptions& options,
                 ResourceScript* out, std::string* error);
bool parseScriptFile(const std::string& path, const ParseOptions& options, ResourceScript* out,
                     std::string* error);

// The C++ source that defines qwinResourceTable() over the script's tables.
std::string emitTableSource(const ResourceScript& script, const std::string& scriptName);

}  // namespace rcgen
