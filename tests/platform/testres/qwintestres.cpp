// A resource module for the dialog-manager and string tests of the POSIX
// backend, in the form the resource compiler step gives libQMBRC.so: a
// string table and dialog templates behind qwinResourceTable().
#include "resource_table.h"

namespace {

// Button, edit and list styles as a resource compiler writes them.
constexpr uint32_t kChild = 0x40000000, kVisible = 0x10000000, kDisabled = 0x08000000;
constexpr uint32_t kGroup = 0x00020000, kTabStop = 0x00010000;
constexpr uint32_t kDefPushButton = 0x1, kAutoCheckBox = 0x3, kAutoRadio = 0x9;
constexpr uint32_t kListSort = 0x2, kComboDropDownList = 0x3;

constexpr QwinStringResource kStrings[] = {
    {1, "Album library"},
    {2, "Cannot open the album \"%s\"."},
    {40, ""},
    {1000, "Thumbnails"},
};

constexpr QwinControlTemplate kSettings[] = {
    {-1, "STATIC", "&Name:", kChild | kVisible, 7, 7, 40, 8},
    {100, "EDIT", "untitled", kChild | kVisible | kTabStop, 50, 7, 120, 12},
    {101, "BUTTON", "&Compress", kChild | kVisible | kTabStop | kAutoCheckBox, 7, 24, 80, 10},
    {102, "LISTBOX", "", kChild | kVisible | kTabStop | kListSort, 7, 40, 80, 40},
    {103, "COMBOBOX", "", kChild | kVisible | kTabStop | kComboDropDownList, 95, 40, 80, 60},
    {104, "BUTTON", "&Small", kChild | kVisible | kGroup | kAutoRadio, 7, 84, 50, 10},
    {105, "BUTTON", "&Large", kChild | kVisible | kAutoRadio, 60, 84, 50, 10},
    {106, "BUTTON", "Hidden", kChild | kTabStop, 120, 84, 50, 10},
    {107, "BUTTON", "Disabled", kChild | kVisible | kDisabled | kTabStop, 120, 96, 50, 10},
    {1, "BUTTON", "OK", kChild | kVisible | kGroup | kTabStop | kDefPushButton, 70, 110, 50, 14},
    {2, "BUTTON", "Cancel", kChild | kVisible | kTabStop, 125, 110, 50, 14},
};

constexpr QwinControlTemplate kConfirm[] = {
    {200, "STATIC", "Delete the album?", 0, 7, 7, 100, 8},
    {1, "BUTTON", "OK", kDefPushButton, 7, 20, 50, 14},
};

constexpr QwinDialogTemplate kDialogs[] = {
    {10, "Album settings", 0x80C80000u, 0, 0, 190, 130, kSettings,
     sizeof kSettings / sizeof kSettings[0]},
    {11, "Confirm", 0x80C80000u | kVisible, 0, 0, 120, 40, kConfirm,
     sizeof kConfirm / sizeof kConfirm[0]},
};

constexpr QwinResourceTable kTable = {kStrings, sizeof kStrings / sizeof kStrings[0], kDialogs,
                                      sizeof kDialogs / sizeof kDialogs[0]};

}  // namespace

extern "C" __attribute__((visibility("default"))) const QwinResourceTable* qwinResourceTable(void) {
  return &kTable;
}
