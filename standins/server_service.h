// The stand-in server as an own-process Windows service.
#pragma once

#include "server_options.h"

// Runs the service until it is stopped when the service manager started this
// process. Returns false with a Win32 code in `error` otherwise: 1063
// (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) when it was not started as a service.
bool runAsService(const ServerOptions& options, DWORD& error);
