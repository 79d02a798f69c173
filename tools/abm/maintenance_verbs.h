// Verbs that rewrite an album as a whole (reorganize, convert) or change its
// fields (scheme).
#pragma once

#include "cli.h"

namespace abm {

int runReorganize(const Args& args);
int runConvert(const Args& args);
int runScheme(const Args& args);

}  // namespace abm
