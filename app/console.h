// The installer's three output channels. The colour of a message tells the
// reader whether the run goes on: plain for progress, yellow for a failure the
// step survives, red for a failure that ends the run.
#pragma once

#define QMX_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))

// In the console's current attributes.
void printInfo(const char* format, ...) QMX_PRINTF_FORMAT;
// Bright yellow on black (14), then the previous attributes again.
void printWarning(const char* format, ...) QMX_PRINTF_FORMAT;
// Bright red on black (12), then the previous attributes again.
void printError(const char* format, ...) QMX_PRINTF_FORMAT;

// Text attributes of the coloured channels: the whole word is replaced, so the
// message stands on black whatever the console's background is.
constexpr unsigned short kWarningAttributes = 14;
constexpr unsigned short kErrorAttributes = 12;
