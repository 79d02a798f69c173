// Verbs on the picture part of records: thumbs, path and relink.
#pragma once

#include "cli.h"

namespace abm {

int runThumbs(const Args& args);
int runPath(const Args& args);
int runRelink(const Args& args);

}  // namespace abm
