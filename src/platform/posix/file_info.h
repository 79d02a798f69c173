// Shared helpers of the file modules.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "afm3_types.h"

namespace qwin {

// A host time as a Windows FILETIME (100 ns units since 1601, UTC).
uint64_t fileTimeOf(const struct timespec& ts);
// The Windows attributes of a host file: directory, or archive plus
// read-only when the owner may not write it.
uint32_t attributesOf(const struct stat& st);
// The host descriptor behind an open file handle, -1 when the handle is
// unknown.
int hostDescriptor(HANDLE file);

}  // namespace qwin
