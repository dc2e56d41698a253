// The simulated firewall as tests script and inspect it: a local policy with
// two profiles, each with its list of authorized applications keyed by image
// path (compared without regard to case), and the objects the program holds.
#pragma once

#include <string>

namespace sim {

constexpr int kDomainProfile = 0;
constexpr int kStandardProfile = 1;

// The profile that get_CurrentProfile hands out; kStandardProfile after reset.
void setCurrentProfile(int profile);

// An entry registered before the program runs. `enabled` is the raw
// VARIANT_BOOL that get_Enabled reports (any non-zero value counts as on).
void addAuthorizedApplication(int profile, const std::wstring& image, const std::wstring& name, short enabled);

// The profile's list in registration order, one "image|name|enabled" line per
// entry, enabled as the VARIANT_BOOL's number ("-1" for VARIANT_TRUE).
std::wstring authorizedApplications(int profile);

// References to firewall objects handed out and not yet released.
unsigned liveComReferences();

}  // namespace sim
