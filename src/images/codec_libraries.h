// The codec libraries loaded at run time: qlibjpg (JPEG), q32lzw (LZW
// initialisation; the coding is in the imported qliblzw), q32zlib (zlib)
// and q32cvt (bitmap conversion).
//
// One process-wide handle per library, null until first needed, kept once
// loaded, freed at process detach. A library that cannot be loaded is
// reported (message 6410 formatted with the path tried, as a ready text)
// and its handle stays null, so the next use tries again.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/error_report.h"

namespace afm3 {

enum class CodecLibrary { Jpeg, Lzw, Zlib, Conversion };

// How the library is looked for on first use:
//   Jpeg: by name through the normal search, then CodecFolder +
//         "qlibjpg.dll" (lower case) with its folder as current directory;
//   Lzw, and Zlib for encoding: CodecFolder + name, with CodecFolder as
//         current directory;
//   Zlib for decoding: CodecFolder + name, current directory unchanged;
//   Conversion: "q32cvt.dll" by name only.
enum class LoadPurpose { Encoding, Decoding };
// The library's handle, or null after reporting 6410 at (where, step).
HMODULE loadCodecLibrary(CodecLibrary library, Location where, uint32_t step,
                         LoadPurpose purpose = LoadPurpose::Encoding);

// A function of a loaded library, looked up at each use. A missing
// function is reported like a library that cannot be loaded.
void* codecFunction(CodecLibrary library, const char* name, Location where, uint32_t step);

// The path a library was loaded from (or last tried), for reports.
const char* codecLibraryPath(CodecLibrary library);

// Whether the library a CompressionCode needs is loaded or its file is in
// CodecFolder; codes other than 1, 2 and 3 need none.
bool codecAvailable(uint8_t compression);

// Frees the loaded libraries in the order LZW, zlib, JPEG, conversion.
void unloadCodecLibraries();

// Formats message 6410 with path and reports it as a ready text.
void reportLibraryNotLoaded(const char* path, Location where, uint32_t step);

}  // namespace afm3
