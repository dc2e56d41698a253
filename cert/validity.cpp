#include "cert/validity.h"

#include <cstdio>

namespace {

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

void formatTime(char (&text)[kValidityTextSize], int year, int month, int day, int hour, int minute, int second) {
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute, second);
}

}  // namespace

void formatValidity(const SYSTEMTIME& utc, char (&start)[kValidityTextSize], char (&end)[kValidityTextSize]) {
    formatTime(start, utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
    int endYear = utc.wYear + kValidityYears;
    int endDay = utc.wDay;
    if (utc.wMonth == 2 && endDay == 29 && !isLeapYear(endYear)) endDay = 28;
    formatTime(end, endYear, utc.wMonth, endDay, utc.wHour, utc.wMinute, utc.wSecond);
}
