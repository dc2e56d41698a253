// File identity: two paths name the same file when volume serial number and
// file index agree, whatever case, short name or hard link each path uses.
#pragma once

// True when both paths open and name the same file.
bool isSameFile(const char* pathA, const char* pathB);
