// The server executable as an enabled authorized application of the current
// firewall profile. COM must be initialised on the calling thread.
#pragma once

#include <cstdint>

#include "app/context.h"
#include "platform/os.h"

// Registers destinationPath + fileName under the name "qmx OPCUA" unless an
// enabled entry for that path exists. Firewall failures are yellow warnings
// and still give true; false only when the path does not fit its buffer.
bool addFirewallException(const InstallContext& context, const char* fileName);

// Looks the path up in the profile's list and adds a new entry when there is
// none or only a disabled one. Non-negative when an enabled entry was found or
// one was added; otherwise the code of the first call that failed, or
// E_OUTOFMEMORY when a string could not be allocated.
HRESULT ensureAuthorizedApplication(INetFwProfile* profile, const WCHAR* imagePath);

// An HRESULT as the unsigned 32-bit number that "0x%08lx" prints.
inline unsigned long hresultCode(HRESULT result) {
    return static_cast<unsigned long>(static_cast<uint32_t>(result));
}
