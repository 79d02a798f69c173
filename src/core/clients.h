// The client table: one window per registered owner key, told after a
// commit that its album got a new file handle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "afm3_types.h"

namespace afm3 {

constexpr size_t kClientTableStep = 8;
constexpr const char* kNotificationMessageName = "QARVO_AFM_MSG";

bool createClientTable();
void destroyClientTable();
size_t clientTableCapacity();
size_t clientCount();

// The window registered under ownerKey, or null.
HWND clientWindow(HINSTANCE ownerKey);

}  // namespace afm3
