// Stopping the services that discovery found running, and starting the same
// services again at the end of the run. Neither ever fails the run.
#pragma once

#include "app/context.h"

// Each service recorded as running at discovery, in list order: stop it and
// wait until it has stopped, for a little over 30 s at most. Always true.
bool stopServices(InstallContext& context);
// The same services: start each and wait while it reports progress. Always true.
bool startServices(InstallContext& context);
