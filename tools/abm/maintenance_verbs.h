// Verbs that rewrite an album as a whole: reorganize, convert.
#pragma once

#include "cli.h"

namespace abm {

int runReorganize(const Args& args);
int runConvert(const Args& args);

}  // namespace abm
