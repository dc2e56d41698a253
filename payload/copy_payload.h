// The installation step for one payload: inflate it into the destination,
// waiting while another process holds the file.
#pragma once

#include "app/context.h"
#include "payload/catalogue.h"

// True when the payload was installed or does not apply to this platform;
// false after the reason has been printed in red.
bool copyPayload(const InstallContext& context, const PayloadEntry& entry);
