#include "app/firewall_step.h"

#include "app/console.h"
#include "firewall/firewall.h"
#include "payload/catalogue.h"

bool configureFirewall(InstallContext& context) {
    printInfo("Will configure firewall...\n");
    HRESULT init = os::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // RPC_E_CHANGED_MODE: the thread is already in an apartment of the other
    // kind. The firewall objects work there too, but that initialisation is
    // not ours to undo.
    if (FAILED(init) && init != RPC_E_CHANGED_MODE) {
        printWarning("  CoInitializeEx failed: 0x%08lx. Will attempt to continue...\n", hresultCode(init));
        return true;
    }
    bool fits = addFirewallException(context, kPayloadCatalogue[kServerPayload].fileName);
    if (SUCCEEDED(init)) os::CoUninitialize();
    return fits;
}
