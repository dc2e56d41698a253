// Terminating the processes that still run an installed executable, so that
// the copy step can replace it.
#pragma once

#include "app/context.h"
#include "payload/catalogue.h"

// Terminates every process whose image is the installed copy of `entry`, one
// line each. False only when the installed file's path does not fit.
bool killProcesses(InstallContext& context, const PayloadEntry& entry);
