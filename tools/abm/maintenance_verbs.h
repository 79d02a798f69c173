// Verbs that rewrite an album as a whole: reorganize.
#pragma once

#include "cli.h"

namespace abm {

int runReorganize(const Args& args);

}  // namespace abm
