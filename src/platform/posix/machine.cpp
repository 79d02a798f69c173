#include "machine.h"

#include "afm3_compat.h"
#include "codepage.h"
#include "paths.h"
#include "volumes.h"

// Everything a test may configure goes back to the default machine: the
// volumes and shares, the current directory, profile, registry, computer
// name, code page, screen resolution and the answers of message boxes,
// folder dialogs and dialogs. Windows, heap blocks and open files are the
// process's own and stay.
extern "C" void qwinTestResetMachine(void) {
  qwin::resetVolumes();
  qwin::resetCurrentDirectory();
  qwin::resetProfileAndRegistry();
  qwin::setCodePage(0);
  qwin::resetDisplay();
  qwin::resetInteractionHooks();
}
