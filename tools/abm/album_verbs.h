#pragma once

#include "afm3_types.h"
#include "cli.h"

namespace abm {

int runCheck(const Args& args);
int runInfo(const Args& args);
int runCreate(const Args& args);
int runAdd(const Args& args);
int runList(const Args& args);
int runShow(const Args& args);
int runSet(const Args& args);
int runDelete(const Args& args);
int runUndelete(const Args& args);

// The owner key the tool opens albums under.
HINSTANCE toolOwnerKey();

}  // namespace abm
