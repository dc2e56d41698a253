// The run's firewall step: a COM apartment of its own around the registration
// of the server executable.
#pragma once

#include "app/context.h"

// Prints the heading, initialises COM, registers the server with the
// firewall and leaves COM again. A failed initialisation is a warning and the
// step is skipped; false only when the server's path does not fit.
bool configureFirewall(InstallContext& context);
