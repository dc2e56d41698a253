// Splitting a service's configured command line into its arguments.
#pragma once

// The arguments of an ANSI command line by the platform's rules (quotes group,
// the first argument is the program), in one LocalAlloc block: `count`
// pointers, then the NUL-terminated ANSI strings they address. The caller
// releases it with one LocalFree. Null on any failure, `count` then untouched.
char** splitCommandLine(const char* commandLine, int& count);
