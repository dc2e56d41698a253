// The default instance's identity: a fresh RSA key file and a self-signed
// certificate file below the destination, unless both are there already.
#pragma once

#include "app/context.h"

// Both relative to the destination folder.
constexpr const char kDefaultKeyFile[] = "instances\\default\\.key";
constexpr const char kDefaultCertificateFile[] = "instances\\default\\.cert";

// True when both files existed (whatever their content) or both have been
// written; false after a failure, reported in red on the progress line.
bool generateDefaultCertificate(const InstallContext& context);
