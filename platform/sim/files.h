// The simulated file system: drives, folders and files under Windows path
// rules (case-insensitive names, backslashes or slashes, drive roots, "." and
// ".."), file identity (volume serial and file index) shared by hard links and
// short names, files held open by other processes, and a disk that can fill.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim_types.h"

namespace sim {

// A machine starts with drive C: (volume serial 0x43000000), the current
// drive, whose root exists, and drive D: (0x44000000).
void addDrive(char letter, DWORD volumeSerial);

// Test set-up: folders and files made directly, parents included.
void makeDir(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// Another name for an existing file: a hard link or an 8.3 short name. Both
// reach the same file, with the same identity.
void addLink(const std::string& newPath, const std::string& existingPath);
void setReadOnly(const std::string& path, bool readOnly);

bool exists(const std::string& path);
bool isDir(const std::string& path);
std::string readFile(const std::string& path);  // "" when absent
// Every folder and file, one per line in path order ("C:\\a\\" for folders,
// "C:\\a\\f (12)" for files with their size), names as they were created.
std::string fileTree();
// Mutations of the file system since reset (creations, truncations, writes).
unsigned fileChanges();
// The byte counts of the program's WriteFile calls on this file, in order.
std::vector<DWORD> writeSizes(const std::string& path);

// Another process holds the file open without sharing until simulated time
// `untilMs` (kForever: for the whole test). Opening it then fails with 32.
constexpr uint64_t kForever = UINT64_MAX;
void holdFile(const std::string& path, uint64_t untilMs);

// Bytes the disk can still take; a write beyond it fails with
// ERROR_DISK_FULL and writes nothing. Unlimited at reset.
void setDiskSpace(uint64_t bytes);

// Writes to this file (also once it is created) are copied but only the last
// write's bytes are kept, while its size grows as on disk: a benchmark can then
// stream far more than memory holds. readFile gives the last write's bytes.
void keepOnlyLastWrite(const std::string& path);
// The file's size in bytes (also for a file under keepOnlyLastWrite); 0 when absent.
uint64_t fileSize(const std::string& path);

}  // namespace sim
