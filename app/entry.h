// The process entry: banner, then either the usage block or one installation.
#pragma once

// The program's whole life; returns the process exit code (0 success, 1 a
// failed run or a usage request).
int installerMain(int argc, char** argv);

extern const char kBanner[];
