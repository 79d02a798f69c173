// Resetting the emulated machine's configuration (qwinTestResetMachine).
#pragma once

namespace qwin {

void resetProfileAndRegistry();
void resetDisplay();
void resetInteractionHooks();

}  // namespace qwin
