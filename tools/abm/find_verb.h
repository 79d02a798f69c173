// find: the records whose fields match conditions, read a block of rows at
// a time so that large albums stay fast.
#pragma once

#include "cli.h"

namespace abm {

int runFind(const Args& args);

}  // namespace abm
