// The marks verb: named marks on the pictures of an album, kept in the
// album's thumb-mark file.
#pragma once

#include "cli.h"

namespace abm {

int runMarks(const Args& args);

}  // namespace abm
