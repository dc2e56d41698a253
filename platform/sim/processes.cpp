#include "platform/sim/processes.h"

#include <cstring>
#include <list>
#include <vector>

#include "platform/sim/machine.h"

namespace sim {

const char kInstallerImage[] = "C:\\Users\\setup\\Downloads\\qmx-installer.exe";

namespace {

struct Process {
    DWORD id;
    std::string image;
    ProcessKind kind;
    bool running = true;
};

// What a process handle stands for: the process (by its index, so that the
// record outlives its exit) and the access it was opened with.
struct ProcessObject {
    size_t process;
    DWORD access;
};

struct Processes {
    std::vector<Process> list;
    std::list<ProcessObject> objects;
    std::string terminated;
    std::string enumSizes;
};

Processes& procs() {
    static Processes p;
    return p;
}

void append(std::string& log, unsigned value) {
    if (!log.empty()) log += ',';
    log += std::to_string(value);
}

void resetProcesses() {
    procs() = Processes{};
    addProcess(0, "", ProcessKind::Protected);
    addProcess(4, "", ProcessKind::Protected);
    addProcess(kInstallerId, kInstallerImage);
}

bool registered = registerDevice(Device{"processes", resetProcesses, nullptr});

void closeObject(void* object) {
    auto& list = procs().objects;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (&*it == object) {
            list.erase(it);
            return;
        }
    }
}

ProcessObject* objectOf(HANDLE handle) { return static_cast<ProcessObject*>(handleObject(handle, "process")); }

}  // namespace

void addProcess(DWORD id, const std::string& imagePath, ProcessKind kind) {
    procs().list.push_back(Process{id, imagePath, kind});
}

bool processRunning(DWORD id) {
    for (const Process& p : procs().list) {
        if (p.id == id && p.running) return true;
    }
    return false;
}

std::string terminatedProcesses() { return procs().terminated; }

std::string processEnumSizes() { return procs().enumSizes; }

}  // namespace sim

namespace os {

// Fills as many ids as fit; a full buffer is the only sign that more exist.
BOOL K32EnumProcesses(DWORD* processIds, DWORD bytes, DWORD* bytesReturned) {
    sim::append(sim::procs().enumSizes, bytes);
    if (sim::injectedFailure("K32EnumProcesses")) return FALSE;
    DWORD capacity = bytes / sizeof(DWORD);
    DWORD filled = 0;
    for (const sim::Process& p : sim::procs().list) {
        if (!p.running) continue;
        if (filled == capacity) break;
        processIds[filled++] = p.id;
    }
    *bytesReturned = filled * static_cast<DWORD>(sizeof(DWORD));
    return TRUE;
}

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId) {
    if (sim::injectedFailure("OpenProcess")) return nullptr;
    auto& list = sim::procs().list;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].id != processId || !list[i].running) continue;
        if (processId == 0) break;  // the idle process is no process to open
        if (list[i].kind == sim::ProcessKind::Protected) {
            sim::setLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        sim::procs().objects.push_back(sim::ProcessObject{i, access});
        return sim::openHandle("process", &sim::procs().objects.back(), sim::closeObject);
    }
    sim::setLastError(ERROR_INVALID_PARAMETER);  // what the platform says for an id no process has
    return nullptr;
}

// Without a module handle: the process's executable. A path longer than the
// buffer is cut to size - 1 characters and terminated.
DWORD K32GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR fileName, DWORD size) {
    if (sim::injectedFailure("K32GetModuleFileNameExA")) return 0;
    sim::ProcessObject* o = sim::objectOf(process);
    if (!o) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if ((o->access & (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) != (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) {
        sim::setLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    sim::Process& p = sim::procs().list[o->process];
    if (module || !p.running || p.kind == sim::ProcessKind::NoImage || size == 0) {
        sim::setLastError(ERROR_PARTIAL_COPY);
        return 0;
    }
    size_t length = p.image.size() < size ? p.image.size() : size - 1;
    std::memcpy(fileName, p.image.data(), length);
    fileName[length] = '\0';
    if (p.kind == sim::ProcessKind::ExitsAfterScan) p.running = false;
    return static_cast<DWORD>(length);
}

BOOL TerminateProcess(HANDLE process, UINT) {
    if (sim::injectedFailure("TerminateProcess")) return FALSE;
    sim::ProcessObject* o = sim::objectOf(process);
    if (!o) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::Process& p = sim::procs().list[o->process];
    if (!(o->access & PROCESS_TERMINATE) || !p.running) {
        sim::setLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    p.running = false;
    sim::append(sim::procs().terminated, p.id);
    return TRUE;
}

}  // namespace os
