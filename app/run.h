// One installation: the fixed sequence of steps over one context.
#pragma once

#include "app/context.h"

// True when every step succeeded. The first step that fails has reported in
// red and ends the run; nothing is rolled back.
bool runInstallation(InstallContext& context);
