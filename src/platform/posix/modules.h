// Loaded modules (shared objects standing for DLLs).
#pragma once

#include <string>

#include "afm3_types.h"
#include "resource_table.h"

namespace qwin {

// The resource table a module exports, or null (no such module, or not a
// resource module).
const QwinResourceTable* resourceTableOf(HMODULE module);
// Host folders searched for bare library and program names.
std::string hostExecutablePath();
std::string hostExecutableFolder();
std::string platformLibraryFolder();

}  // namespace qwin
