#include "app/run.h"

#include "app/destination.h"
#include "app/firewall_step.h"
#include "app/platform_class.h"
#include "cert/default_certificate.h"
#include "payload/catalogue.h"
#include "payload/copy_payload.h"

bool runInstallation(InstallContext& context) {
    detectPlatform(context);
    if (!readProgramFiles(context)) return false;
    if (!prepareDestination(context)) return false;
    for (const PayloadEntry& entry : kPayloadCatalogue) {
        if (!copyPayload(context, entry)) return false;
    }
    // After the copies, before the firewall: the default key and certificate.
    if (!generateDefaultCertificate(context)) return false;
    // Step 9: the firewall entry of the server executable.
    if (!configureFirewall(context)) return false;
    return true;
}
