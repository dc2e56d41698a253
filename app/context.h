// The record of one installation run, carried by reference through every step.
#pragma once

#include <cstdint>

#include "app/paths.h"

// The class of the running Windows, read from ntdll.dll's file version.
enum RuntimeClass : uint32_t {
    RuntimeNt4 = 1,
    RuntimeW2k = 3,
    RuntimeXpSp3 = 5,
    RuntimeCurrent = 7,
};

// One service found by discovery. Both strings are owned heap copies.
struct ServiceEntry {
    char* fileName;      // the payload's file name, relative to the destination
    char* serviceName;   // the service's key name
    uint32_t state;      // the state at discovery; never refreshed
};

// A growable array that is reallocated to exactly `count` entries on every
// append; `entries` is null while the list is empty.
struct ServiceList {
    ServiceEntry* entries;
    uint64_t count;
};

struct InstallContext {
    uint32_t osMajor;
    uint32_t osMinor;
    uint32_t osBuild;
    uint32_t osRevision;
    RuntimeClass runtimeClass;
    PathBuffer programFilesPath;
    PathBuffer destinationPath;
    ServiceList services;
};

// Copies both strings and adds one entry at the end. On an allocation failure
// nothing is added and false is returned.
bool appendService(ServiceList& list, const char* fileName, const char* serviceName, uint32_t state);
// Frees every entry's strings and the array, and leaves the list empty.
void releaseServiceList(ServiceList& list);

// The state numbers of the service manager.
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceRunning = 4;
