#pragma once

#include <string>

#include "afm3_types.h"
#include "cli.h"

namespace abm {

int runCheck(const Args& args);
// check --deep and repair: the integrity check of a version-3.0 album.
int runDeepCheck(const Args& args);
int runRepair(const Args& args);
int runInfo(const Args& args);
// info --pages: the pages of the album information dialog as text.
int runInfoPages(const Args& args);
int runCreate(const Args& args);
int runAdd(const Args& args);
int runList(const Args& args);
int runShow(const Args& args);
int runSet(const Args& args);
int runDelete(const Args& args);
int runUndelete(const Args& args);

// The title and description an album's information holds.
std::string albumTitle(const unsigned char* info);
std::string albumDescription(const unsigned char* info);

// The owner key the tool opens albums under.
HINSTANCE toolOwnerKey();

}  // namespace abm
