// The simulated console: what the program wrote to standard output, each piece
// with the text attribute that was in force when it reached the console.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sim/sim_types.h"

namespace sim {

// A console whose attributes start at `defaultAttributes` (7 is white on
// black, 0x1F white on blue). Redirected: standard output is a file, so the
// attribute calls fail with ERROR_INVALID_HANDLE and change nothing.
void setConsole(WORD defaultAttributes, bool redirected);

// The whole output so far. Text written in the console's default attributes
// appears as it is; a run in other attributes appears as "[A]text[/]" with A
// in decimal, e.g. "Copying...[12] failed: 0x00000020\n[/]".
std::string transcript();
// The same output without any attribute marks.
std::string plainOutput();
// The plain output that had reached the console by simulated time `ms`, to
// check that progress is shown as it happens and not held back.
std::string plainOutputAt(uint64_t ms);
// Text written to standard output but never flushed to the console.
std::string unflushedOutput();
WORD currentAttributes();
unsigned attributeChanges();

}  // namespace sim
