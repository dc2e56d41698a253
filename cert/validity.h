// The validity period of the default certificate, as the certificate writer
// takes it: "YYYYMMDDhhmmss" in UTC, 14 characters.
#pragma once

#include "platform/os.h"

constexpr int kValidityYears = 30;
// Large enough for any field values; the writer rejects a string that is not
// 14 characters long.
constexpr int kValidityTextSize = 32;

// The start is the clock's reading to the second (milliseconds dropped), the
// end the same date and time 30 years later. A start on 29 February ends on
// 28 February when the end year has no 29 February: a date that does not
// exist would make the certificate unreadable for most parsers.
void formatValidity(const SYSTEMTIME& utc, char (&start)[kValidityTextSize], char (&end)[kValidityTextSize]);
