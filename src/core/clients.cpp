#include "core/clients.h"

#include "afm3.h"
#include "core/error_report.h"
#include "core/growable_table.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr uint32_t kClientInUse = 0x01;
constexpr Location kRegister{kModClients, 6};
constexpr uint32_t kStepTableGrowth = 10;

struct ClientEntry {
  HINSTANCE ownerKey;
  HWND window;
  uint32_t flags;
};

constinit GrowableTable<ClientEntry> table(kClientTableStep);
// Entries in use. A key registered again replaces its window without
// counting twice, so re-registering never makes the table grow.
constinit size_t registrations = 0;

}  // namespace

bool createClientTable() {
  registrations = 0;
  return table.create();
}

void destroyClientTable() {
  table.release();
  registrations = 0;
}

size_t clientTableCapacity() { return table.capacity(); }
size_t clientCount() { return registrations; }

HWND clientWindow(HINSTANCE ownerKey) {
  for (size_t i = 0; i < table.capacity(); ++i) {
    if ((table[i].flags & kClientInUse) && table[i].ownerKey == ownerKey) return table[i].window;
  }
  return nullptr;
}

}  // namespace afm3

using afm3::table;

extern "C" UINT WINAPI afm3Register(HINSTANCE ownerKey, HWND window) {
  using namespace afm3;
  if (registrations >= table.capacity() && !table.grow()) {
    reportError(kErrNoMemory, kRegister, kStepTableGrowth);
    return 0;
  }
  // A key keeps its entry (in use or not); otherwise the first free entry.
  ClientEntry* chosen = nullptr;
  ClientEntry* firstFree = nullptr;
  for (size_t i = 0; i < table.capacity(); ++i) {
    ClientEntry& entry = table[i];
    if (entry.ownerKey == ownerKey) {
      chosen = &entry;
      break;
    }
    if (firstFree == nullptr && !(entry.flags & kClientInUse)) firstFree = &entry;
  }
  if (chosen == nullptr) chosen = firstFree;
  if (chosen == nullptr) {  // cannot happen while the count tracks the table
    reportError(kErrNoMemory, kRegister, kStepTableGrowth);
    return 0;
  }
  if (!(chosen->flags & kClientInUse)) ++registrations;
  chosen->ownerKey = ownerKey;
  chosen->window = window;
  chosen->flags |= kClientInUse;
  return plat::registerWindowMessage(kNotificationMessageName);
}

extern "C" BOOL WINAPI afm3Unregister(HINSTANCE ownerKey) {
  using namespace afm3;
  for (size_t i = 0; i < table.capacity(); ++i) {
    ClientEntry& entry = table[i];
    if ((entry.flags & kClientInUse) && entry.ownerKey == ownerKey) {
      entry.flags &= ~kClientInUse;
      if (registrations > 0) --registrations;
      return TRUE;
    }
  }
  return FALSE;
}
