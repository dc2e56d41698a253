// Which Windows the installer runs on, and which payloads apply to it.
#pragma once

#include <cstdint>

#include "app/context.h"

// Reads ntdll.dll's file version into the context, classifies it and prints
// the platform line. An unreadable version counts as 0.0.0.0, class "nt4".
void detectPlatform(InstallContext& context);

// The class of a version, comparing (major, minor, build, revision) in order.
RuntimeClass classifyVersion(uint32_t major, uint32_t minor, uint32_t build, uint32_t revision);
const char* runtimeClassLabel(RuntimeClass runtimeClass);

// Whether a payload built for `crtVariant` is handled on `runtimeClass`.
// 0 applies everywhere; an odd code names its own class only; an even code 2k
// applies to class 2k-1 and every later one; 8 and above apply nowhere.
bool crtVariantApplies(uint32_t crtVariant, RuntimeClass runtimeClass);
