#include "platform/sim/files.h"

#include <cctype>
#include <cstring>
#include <map>

#include "platform/sim/internal.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_os.h"

namespace sim {
namespace {

struct Node {
    bool dir = false;
    bool readOnly = false;
    std::string data;
    DWORD volume = 0;
    uint64_t index = 0;
    unsigned links = 1;
    uint64_t heldUntil = 0;  // held by another process before this time
    std::vector<DWORD> writes;
    bool keepLastWrite = false;
    uint64_t size = 0;  // the size on disk while only the last write is kept
};

struct OpenFile {
    int node;
    DWORD access;
    DWORD share;
    uint64_t position;
};

struct Stream {
    int node;
    std::string buffer;  // text the runtime has not written yet
    HANDLE handle;       // the underlying file handle
    HANDLE tracker;      // the stream's own entry in the machine's table
};

struct FileSystem {
    std::vector<Node> nodes;
    std::map<std::string, int> names;        // canonical key -> node
    std::map<std::string, std::string> display;  // canonical key -> path as created
    std::map<char, DWORD> drives;
    uint64_t diskSpace = UINT64_MAX;
    uint64_t nextIndex = 0x1000;
    unsigned changes = 0;
    std::vector<OpenFile*> open;
    std::vector<std::string> keepLastWriteKeys;  // for files not created yet
};

FileSystem& fs() {
    static FileSystem f;
    return f;
}

// A stream's runtime buffer is this large, so small files reach the disk only
// when they are closed, as with the C runtime.
constexpr size_t kStreamBuffer = 4096;

char upperChar(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Splits a Windows path into drive and components. Relative paths and paths
// starting at a root are taken from drive C:, the current drive at "C:\".
bool splitPath(const std::string& path, char& drive, std::vector<std::string>& parts) {
    std::string p = path;
    for (char& c : p) {
        if (c == '/') c = '\\';
    }
    if (p.rfind("\\\\?\\", 0) == 0) p = p.substr(4);
    drive = 'C';
    size_t start = 0;
    if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
        drive = upperChar(p[0]);
        start = 2;
    }
    if (p.empty()) return false;
    parts.clear();
    size_t i = start;
    while (i <= p.size()) {
        size_t end = p.find('\\', i);
        if (end == std::string::npos) end = p.size();
        std::string part = p.substr(i, end - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = end + 1;
    }
    return true;
}

std::string keyOf(char drive, const std::vector<std::string>& parts, size_t count) {
    std::string key(1, drive);
    key += ':';
    for (size_t i = 0; i < count; ++i) {
        key += '\\';
        for (char c : parts[i]) key += upperChar(c);
    }
    return key;
}

std::string displayOf(char drive, const std::vector<std::string>& parts, size_t count) {
    std::string text(1, drive);
    text += ':';
    for (size_t i = 0; i < count; ++i) text += "\\" + parts[i];
    return text;
}

int findNode(const std::string& key) {
    auto it = fs().names.find(key);
    return it == fs().names.end() ? -1 : it->second;
}

struct Resolved {
    bool valid = false;       // the drive exists and the path parses
    bool parentIsDir = false;  // every folder above the last component exists
    int node = -1;            // the named node, -1 when absent
    char drive = 'C';
    std::string key;
    std::string display;
};

Resolved resolve(const std::string& path) {
    Resolved r;
    std::vector<std::string> parts;
    if (!splitPath(path, r.drive, parts) || !fs().drives.count(r.drive)) return r;
    r.valid = true;
    r.key = keyOf(r.drive, parts, parts.size());
    r.display = displayOf(r.drive, parts, parts.size());
    if (parts.empty()) {
        r.parentIsDir = true;
        r.node = findNode(r.key);
        return r;
    }
    int parent = findNode(keyOf(r.drive, parts, parts.size() - 1));
    r.parentIsDir = parent >= 0 && fs().nodes[parent].dir;
    r.node = findNode(r.key);
    return r;
}

int newNode(bool dir, char drive) {
    FileSystem& f = fs();
    Node n;
    n.dir = dir;
    n.volume = f.drives[drive];
    n.index = f.nextIndex++;
    f.nodes.push_back(n);
    return static_cast<int>(f.nodes.size() - 1);
}

int addName(const Resolved& r, bool dir) {
    int id = newNode(dir, r.drive);
    for (const std::string& key : fs().keepLastWriteKeys) {
        if (key == r.key) fs().nodes[id].keepLastWrite = true;
    }
    fs().names[r.key] = id;
    fs().display[r.key] = r.display;
    ++fs().changes;
    return id;
}

void addDriveRoot(char letter, DWORD serial) {
    FileSystem& f = fs();
    f.drives[letter] = serial;
    std::string key(1, letter);
    key += ':';
    if (findNode(key) < 0) {
        int id = newNode(true, letter);
        f.names[key] = id;
        f.display[key] = key;
    }
}

void resetFiles() {
    FileSystem& f = fs();
    for (OpenFile* o : f.open) delete o;
    f = FileSystem{};
    addDriveRoot('C', 0x43000000);
    addDriveRoot('D', 0x44000000);
}

std::string filesLeaks() { return ""; }  // open files are handles, reported by the machine

bool registered = registerDevice(Device{"files", resetFiles, filesLeaks});

// Would another open of `node` with this access and sharing conflict with the
// handles already open or with another process that holds it?
bool sharingConflict(int node, DWORD access, DWORD share) {
    if (fs().nodes[node].heldUntil > now()) return true;
    for (const OpenFile* o : fs().open) {
        if (o->node != node) continue;
        bool theyAllowUs = (!(access & GENERIC_READ) || (o->share & FILE_SHARE_READ)) &&
                           (!(access & GENERIC_WRITE) || (o->share & FILE_SHARE_WRITE));
        bool weAllowThem = (!(o->access & GENERIC_READ) || (share & FILE_SHARE_READ)) &&
                           (!(o->access & GENERIC_WRITE) || (share & FILE_SHARE_WRITE));
        if (!theyAllowUs || !weAllowThem) return true;
    }
    return false;
}

void closeOpenFile(void* object) {
    auto* o = static_cast<OpenFile*>(object);
    auto& list = fs().open;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == o) {
            list.erase(list.begin() + static_cast<long>(i));
            break;
        }
    }
    delete o;
}

// Writes bytes at the handle's position, subject to the disk's free space.
bool writeAt(OpenFile* o, const char* data, size_t bytes) {
    FileSystem& f = fs();
    Node& n = f.nodes[o->node];
    uint64_t end = o->position + bytes;
    if (n.keepLastWrite) {
        n.data.assign(data, bytes);
        if (end > n.size) n.size = end;
        o->position = end;
        ++f.changes;
        return true;
    }
    uint64_t growth = end > n.data.size() ? end - n.data.size() : 0;
    if (growth > f.diskSpace) {
        setLastError(ERROR_DISK_FULL);
        return false;
    }
    if (f.diskSpace != UINT64_MAX) f.diskSpace -= growth;
    if (end > n.data.size()) n.data.resize(end);
    std::memcpy(&n.data[o->position], data, bytes);
    o->position = end;
    ++f.changes;
    return true;
}

Stream* streamOf(os::FILE* stream) {
    return stream && stream->kind == 2 ? static_cast<Stream*>(stream->object) : nullptr;
}

bool writeStreamBuffer(Stream* s) {
    if (s->buffer.empty()) return true;
    auto* o = static_cast<OpenFile*>(handleObject(s->handle, "file"));
    bool ok = o && writeAt(o, s->buffer.data(), s->buffer.size());
    s->buffer.clear();
    return ok;
}

}  // namespace

void addDrive(char letter, DWORD volumeSerial) { addDriveRoot(upperChar(letter), volumeSerial); }

void makeDir(const std::string& path) {
    std::vector<std::string> parts;
    char drive;
    if (!splitPath(path, drive, parts)) return;
    for (size_t i = 1; i <= parts.size(); ++i) {
        std::string key = keyOf(drive, parts, i);
        if (findNode(key) >= 0) continue;
        int id = newNode(true, drive);
        fs().names[key] = id;
        fs().display[key] = displayOf(drive, parts, i);
    }
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::vector<std::string> parts;
    char drive;
    if (!splitPath(path, drive, parts) || parts.empty()) return;
    std::string parent = displayOf(drive, parts, parts.size() - 1);
    makeDir(parent);
    Resolved r = resolve(path);
    int id = r.node >= 0 ? r.node : newNode(false, r.drive);
    fs().names[r.key] = id;
    fs().display[r.key] = r.display;
    fs().nodes[id].data = bytes;
}

void addLink(const std::string& newPath, const std::string& existingPath) {
    Resolved from = resolve(existingPath);
    Resolved to = resolve(newPath);
    if (from.node < 0 || !to.valid) return;
    fs().names[to.key] = from.node;
    fs().display[to.key] = to.display;
    ++fs().nodes[from.node].links;
}

void setReadOnly(const std::string& path, bool readOnly) {
    Resolved r = resolve(path);
    if (r.node >= 0) fs().nodes[r.node].readOnly = readOnly;
}

bool exists(const std::string& path) { return resolve(path).node >= 0; }

bool isDir(const std::string& path) {
    Resolved r = resolve(path);
    return r.node >= 0 && fs().nodes[r.node].dir;
}

std::string readFile(const std::string& path) {
    Resolved r = resolve(path);
    return r.node >= 0 ? fs().nodes[r.node].data : std::string();
}

std::string fileTree() {
    std::string out;
    for (const auto& entry : fs().display) {
        const Node& n = fs().nodes[fs().names[entry.first]];
        if (n.dir) {
            out += entry.second + "\\\n";
        } else {
            out += entry.second + " (" + std::to_string(n.data.size()) + ")\n";
        }
    }
    return out;
}

unsigned fileChanges() { return fs().changes; }

std::vector<DWORD> writeSizes(const std::string& path) {
    Resolved r = resolve(path);
    return r.node >= 0 ? fs().nodes[r.node].writes : std::vector<DWORD>();
}

void holdFile(const std::string& path, uint64_t untilMs) {
    Resolved r = resolve(path);
    if (r.node >= 0) fs().nodes[r.node].heldUntil = untilMs;
}

void setDiskSpace(uint64_t bytes) { fs().diskSpace = bytes; }

void keepOnlyLastWrite(const std::string& path) {
    Resolved r = resolve(path);
    if (!r.valid) return;
    fs().keepLastWriteKeys.push_back(r.key);
    if (r.node >= 0) fs().nodes[r.node].keepLastWrite = true;
}

uint64_t fileSize(const std::string& path) {
    Resolved r = resolve(path);
    if (r.node < 0) return 0;
    const Node& n = fs().nodes[r.node];
    return n.keepLastWrite ? n.size : n.data.size();
}

namespace detail {
int flushFileStream(os::FILE* stream) {
    Stream* s = streamOf(stream);
    if (!s) return -1;
    return writeStreamBuffer(s) ? 0 : -1;
}
}  // namespace detail

}  // namespace sim

namespace os {

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    if (sim::injectedFailure("CreateDirectoryA")) return FALSE;
    sim::Resolved r = sim::resolve(path);
    if (!r.valid || !r.parentIsDir) {
        sim::setLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (r.node >= 0) {
        sim::setLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    sim::addName(r, true);
    return TRUE;
}

BOOL PathFileExistsA(LPCSTR path) {
    if (sim::injectedFailure("PathFileExistsA")) return FALSE;
    sim::Resolved r = sim::resolve(path);
    if (r.node < 0) {
        sim::setLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
    if (sim::injectedFailure("GetFileAttributesA")) return INVALID_FILE_ATTRIBUTES;
    sim::Resolved r = sim::resolve(path);
    if (r.node < 0) {
        sim::setLastError(r.parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return sim::fs().nodes[r.node].dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD,
                   HANDLE) {
    if (sim::injectedFailure("CreateFileA")) return INVALID_HANDLE_VALUE;
    sim::Resolved r = sim::resolve(path);
    if (!r.valid || !r.parentIsDir) {
        sim::setLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int node = r.node;
    if (node >= 0) {
        sim::Node& n = sim::fs().nodes[node];
        if (n.dir || (n.readOnly && (access & GENERIC_WRITE))) {
            sim::setLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (sim::sharingConflict(node, access, shareMode)) {
            sim::setLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_NEW) {
            sim::setLastError(80);  // ERROR_FILE_EXISTS
            return INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
            if (sim::fs().diskSpace != UINT64_MAX) sim::fs().diskSpace += n.data.size();
            n.data.clear();
            n.writes.clear();
            n.size = 0;
            ++sim::fs().changes;
        }
        sim::setLastError(disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : 0);
    } else {
        if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
            sim::setLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        node = sim::addName(r, false);
        sim::setLastError(0);
    }
    auto* o = new sim::OpenFile{node, access, shareMode, 0};
    sim::fs().open.push_back(o);
    return sim::openHandle("file", o, sim::closeOpenFile);
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written, LPOVERLAPPED) {
    if (written) *written = 0;
    if (sim::injectedFailure("WriteFile")) return FALSE;
    auto* o = static_cast<sim::OpenFile*>(sim::handleObject(file, "file"));
    if (!o) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(o->access & GENERIC_WRITE)) {
        sim::setLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!sim::writeAt(o, static_cast<const char*>(data), bytes)) return FALSE;
    sim::fs().nodes[o->node].writes.push_back(bytes);
    if (written) *written = bytes;
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    if (sim::injectedFailure("GetFileInformationByHandle")) return FALSE;
    auto* o = static_cast<sim::OpenFile*>(sim::handleObject(file, "file"));
    if (!o) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const sim::Node& n = sim::fs().nodes[o->node];
    *info = BY_HANDLE_FILE_INFORMATION{};
    info->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    info->dwVolumeSerialNumber = n.volume;
    info->nFileSizeHigh = static_cast<DWORD>(n.data.size() >> 32);
    info->nFileSizeLow = static_cast<DWORD>(n.data.size());
    info->nNumberOfLinks = n.links;
    info->nFileIndexHigh = static_cast<DWORD>(n.index >> 32);
    info->nFileIndexLow = static_cast<DWORD>(n.index);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    // A service manager handle is not a kernel object: only CloseServiceHandle closes it.
    const char* kind = sim::handleKind(handle);
    if (kind && std::strcmp(kind, "SC_HANDLE") == 0) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (sim::injectedFailure("CloseHandle")) {
        sim::closeHandle(handle);  // the handle is gone even when the call reports failure
        return FALSE;
    }
    if (!sim::closeHandle(handle)) {
        sim::setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// Text-mode C-runtime streams: "w" creates or truncates, every "\n" written
// is stored as "\r\n", and the text reaches the disk when the runtime's buffer
// fills or the stream is closed.
FILE* fopen(const char* path, const char* mode) {
    if (sim::injectedFailure("fopen")) return nullptr;
    if (std::strcmp(mode, "w") != 0) return nullptr;  // the product writes text files only
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    auto* o = static_cast<sim::OpenFile*>(sim::handleObject(h, "file"));
    auto* s = new sim::Stream{o->node, std::string(), h, nullptr};
    auto* stream = new FILE{2, s};
    // The stream is tracked as its own open object so a missing fclose shows.
    s->tracker = sim::openHandle("FILE*", stream, nullptr);
    return stream;
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
    uint32_t shortBytes = 0;
    bool shortWrite = sim::countCall("fwrite", shortBytes);
    sim::Stream* s = sim::streamOf(stream);
    if (!s || size == 0) return 0;
    size_t bytes = size * count;
    if (shortWrite && shortBytes < bytes) bytes = shortBytes;  // scripted: only this many bytes taken
    const char* text = static_cast<const char*>(data);
    for (size_t i = 0; i < bytes; ++i) {
        if (text[i] == '\n') s->buffer += '\r';
        s->buffer += text[i];
        if (s->buffer.size() >= sim::kStreamBuffer && !sim::writeStreamBuffer(s)) return i / size;
    }
    return bytes / size;
}

int fclose(FILE* stream) {
    sim::Stream* s = sim::streamOf(stream);
    if (!s) return -1;
    uint32_t ignored = 0;
    bool failed = sim::countCall("fclose", ignored);
    if (failed) {
        s->buffer.clear();  // the buffered text never reaches the disk
    } else {
        failed = !sim::writeStreamBuffer(s);
    }
    sim::closeHandle(s->handle);
    sim::closeHandle(s->tracker);
    delete s;
    delete stream;
    return failed ? -1 : 0;
}

}  // namespace os
