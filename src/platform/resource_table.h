// The compiled form of the resource library outside Windows.
//
// On Windows "QMBRC.dll" carries a real string table and dialog templates
// compiled by windres. Elsewhere the same .rc source is turned at build time
// into these tables inside libQMBRC.so, which exports them through
// qwinResourceTable(); the platform layer's string loading and dialog
// manager read them from there.
#pragma once

#include <cstdint>

extern "C" {

struct QwinStringResource {
  uint32_t id;
  const char* text;  // ANSI, escapes of the .rc already resolved
};

struct QwinControlTemplate {
  int id;                 // control identifier (-1 for IDC_STATIC)
  const char* className;  // "BUTTON", "EDIT", "STATIC", "LISTBOX", "COMBOBOX", ...
  const char* text;       // initial text
  uint32_t style;         // window style bits (BS_*, ES_*, ...)
  int x, y, width, height;  // dialog units
};

struct QwinDialogTemplate {
  uint32_t id;
  const char* caption;
  uint32_t style;
  int x, y, width, height;
  const QwinControlTemplate* controls;
  int controlCount;
};

struct QwinResourceTable {
  const QwinStringResource* strings;  // sorted by id
  int stringCount;
  const QwinDialogTemplate* dialogs;  // sorted by id
  int dialogCount;
};

// Exported by a resource module built for the POSIX backend.
typedef const QwinResourceTable* (*QwinResourceTableFunction)(void);
#define QWIN_RESOURCE_TABLE_SYMBOL "qwinResourceTable"
}
