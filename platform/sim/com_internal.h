// Shared by the simulated COM runtime and the simulated firewall only.
#pragma once

#include <string>

#include "platform/sim/sim_os.h"

namespace sim {
namespace detail {

// Whether the calling thread is in an apartment, by the program or its host.
bool comReady();
bool isLiveBstr(const OLECHAR* text);
// The text of a BSTR argument; null is the empty string, as COM treats it.
std::wstring bstrText(BSTR text);
// A misuse of COM by the program (a double release, a foreign pointer freed):
// kept until the next reset and reported by leaks().
void recordComFault(const std::string& text);
// ASCII rendering of a UTF-16 string for reports ('?' beyond ASCII).
std::string narrow(const std::wstring& text);

// CoCreateInstance of a firewall class: the new object's interface, or
// REGDB_E_CLASSNOTREG / E_NOINTERFACE.
HRESULT createFirewallObject(REFCLSID classId, REFIID interfaceId, LPVOID* object);

}  // namespace detail
}  // namespace sim
