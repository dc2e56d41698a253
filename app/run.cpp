#include "app/run.h"

#include "app/destination.h"
#include "app/firewall_step.h"
#include "app/platform_class.h"
#include "cert/default_certificate.h"
#include "payload/catalogue.h"
#include "payload/copy_payload.h"
#include "services/discovery.h"
#include "services/service_control.h"
#include "services/termination.h"

bool runInstallation(InstallContext& context) {
    // 1-3: the platform line, Program Files and the destination folders
    detectPlatform(context);
    if (!readProgramFiles(context)) return false;
    if (!prepareDestination(context)) return false;
    // 4: the services of each installed executable
    for (const PayloadEntry& entry : kPayloadCatalogue) {
        if (!discoverServices(context, entry)) return false;
    }
    // 5: stop the running ones; failures are warnings
    stopServices(context);
    // 6: whatever still runs an installed executable
    for (const PayloadEntry& entry : kPayloadCatalogue) {
        if (!killProcesses(context, entry)) return false;
    }
    // 7: the executables themselves
    for (const PayloadEntry& entry : kPayloadCatalogue) {
        if (!copyPayload(context, entry)) return false;
    }
    // 8: the default key and certificate, unless both exist
    if (!generateDefaultCertificate(context)) return false;
    // 9: the firewall entry of the server executable
    if (!configureFirewall(context)) return false;
    // 10: reached only when every earlier step succeeded
    startServices(context);
    return true;
}
