// gallery: a static HTML gallery of an album that works offline.
#pragma once

#include <string>

#include "cli.h"

namespace abm {

int runGallery(const Args& args);

// text with &, <, >, " and ' escaped; bytes that are not UTF-8 are taken
// as Latin-1 and written as character references.
std::string htmlText(const std::string& text);
// A file: URL for a shell path ("/a b/c.jpg" or "C:\\a\\c.jpg").
std::string fileUrl(const std::string& shellPath);

}  // namespace abm
