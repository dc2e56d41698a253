// The simulated ANSI code page: 1252, as on a Western European or US Windows.
#pragma once

#include <string>

namespace sim {

// The UTF-16 text of an ANSI string, each byte converted through code page
// 1252 (for building expectations in tests); bytes undefined in 1252 map to
// themselves.
std::wstring ansiToWide(const std::string& ansi);

}  // namespace sim
