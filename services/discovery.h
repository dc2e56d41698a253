// Finding the services whose program is an installed executable.
#pragma once

#include <cstdint>

#include "app/context.h"
#include "payload/catalogue.h"

// Records in context.services every service, whatever its state, whose
// command line starts the installed copy of `entry`, and lists them. False
// only when the installed file's path does not fit.
bool discoverServices(InstallContext& context, const PayloadEntry& entry);

// Appends to `list` one entry (carrying `fileName`) per service whose first
// command-line argument names the same file as `installedFile`. 0 after a
// complete enumeration, else the Win32 code that ended it; entries appended
// before a failure stay.
uint32_t enumServicesForFile(const char* installedFile, const char* fileName, ServiceList& list);
