#include "payload/copy_payload.h"

#include <cstring>
#include <vector>

#include "payload/extract.h"
#include "payload_streams.h"
#include "sim_test.h"

namespace {

constexpr DWORD kBlock = kExtractBlockSize;
const PayloadEntry kCtrl{101, "qmx.ua.kyt.ctrl.exe", 0};
const PayloadEntry kServer{102, "qmx.ua.kyt.exe", 0};
const char kDestination[] = "C:\\Program Files\\Morvane\\QMX.UA\\kyt\\";
const std::string kCtrlFile = std::string(kDestination) + "qmx.ua.kyt.ctrl.exe";
const std::string kServerFile = std::string(kDestination) + "qmx.ua.kyt.exe";
const std::string kRetry = "\n  retry in 5 sec.....";

class CopyPayloadTest : public SimTest {
protected:
    InstallContext context{};
    void SetUp() override {
        SimTest::SetUp();
        sim::makeDir(kDestination);
        std::strcpy(context.destinationPath, kDestination);
        context.runtimeClass = RuntimeCurrent;
    }
};

// ---- the stream table ------------------------------------------------------

// Two full blocks and a partial one.
const std::string& fileA() {
    static const std::string bytes = noise(2 * kBlock + 251424);
    return bytes;
}
const std::string& fileB() {  // exactly two blocks
    static const std::string bytes = noise(2 * kBlock, 7);
    return bytes;
}
// A stream whose header is replaced, the rest as it was.
std::string withHeader(const char* header, size_t length, const std::string& stream) {
    return std::string(header, length) + stream.substr(2);
}
std::string badAdler() {
    std::string s = zlibStream(fileA());
    s.back() = static_cast<char>(s.back() ^ 0x01);
    return s;
}

struct StreamCase {
    const char* name;
    bool present;
    std::string resource;
    std::string outcome;  // what follows the progress line
    std::string onDisk;
    std::vector<DWORD> writes;
};

// The target exists before each case and is larger than any payload here, so
// a success shows it replaced to exactly the inflated size.
const std::string kPrevious(3 * kBlock, 'p');

std::vector<StreamCase> streamCases() {
    const std::string a = fileA();
    const std::string streamA = zlibStream(a);
    return {
        {"good stream", true, streamA, " ok\n", a, {kBlock, kBlock, 251424}},
        {"inflated size a multiple of the block", true, zlibStream(fileB()), " ok\n", fileB(), {kBlock, kBlock}},
        {"any compression level", true, zlibStream(a, 9), " ok\n", a, {kBlock, kBlock, 251424}},
        {"bytes after the end of the stream", true, streamA + "trailing bytes", " ok\n", a, {kBlock, kBlock, 251424}},
        {"empty resource", true, "", red(" failed: 0x00000570\n"), "", {}},
        // Cut at 60 %: the first full block is on disk, the partial second one is not.
        {"stream cut in its middle", true, streamA.substr(0, streamA.size() * 6 / 10), red(" failed: 0x00000570\n"),
         a.substr(0, kBlock), {kBlock}},
        {"bad Adler-32", true, badAdler(), red(" failed: 0x00000570\n"), a.substr(0, 2 * kBlock), {kBlock, kBlock}},
        // FDICT set (0x78 0xBB passes the header check) with a dictionary id.
        {"preset dictionary", true, withHeader("\x78\xBB\x01\x02\x03\x04", 6, streamA), red(" failed: 0x00000570\n"), "",
         {}},
        // CINFO 8: a 64 KiB window (0x88 0x1C passes the header check).
        {"window above 32 KiB", true, withHeader("\x88\x1C", 2, streamA), red(" failed: 0x00000570\n"), "", {}},
        // A final block of the reserved type 3.
        {"damaged deflate data", true, std::string("\x78\x01\x07\x00\x00\x00\x00", 7), red(" failed: 0x00000570\n"), "",
         {}},
        {"missing resource id", false, "", red(" failed: 0x00000716\n"), kPrevious, {}},
    };
}

TEST_F(CopyPayloadTest, StreamTable) {
    for (const StreamCase& c : streamCases()) {
        SCOPED_TRACE(c.name);
        sim::reset();
        SetUp();
        sim::writeFile(kCtrlFile, kPrevious);
        setPayloadResource(102, zlibStream("the other payload"));
        if (c.present) setPayloadResource(101, c.resource);

        bool ok = copyPayload(context, kCtrl);
        EXPECT_EQ(ok, c.outcome == " ok\n");
        EXPECT_EQ(sim::transcript(), "Copying \"qmx.ua.kyt.ctrl.exe\"..." + c.outcome);
        const std::string disk = sim::readFile(kCtrlFile);
        EXPECT_EQ(disk.size(), c.onDisk.size());
        EXPECT_TRUE(disk == c.onDisk) << "content differs";
        EXPECT_EQ(sim::writeSizes(kCtrlFile), c.writes);
        EXPECT_EQ(sim::leaks(), "");
    }
}

TEST_F(CopyPayloadTest, MissingResourceTypeGivesItsOwnCode) {
    EXPECT_FALSE(copyPayload(context, kCtrl));
    EXPECT_EQ(sim::transcript(), "Copying \"qmx.ua.kyt.ctrl.exe\"..." + red(" failed: 0x00000715\n"));
    EXPECT_FALSE(sim::exists(kCtrlFile));
}

TEST_F(CopyPayloadTest, EntryThatDoesNotApplyPrintsAndTouchesNothing) {
    const PayloadEntry elsewhere{101, "qmx.ua.kyt.ctrl.exe", 8};  // 8 and above apply nowhere
    unsigned before = sim::totalCalls();
    EXPECT_TRUE(copyPayload(context, elsewhere));
    EXPECT_EQ(sim::transcript(), "");
    EXPECT_EQ(sim::totalCalls(), before);
}

// ---- a file held by another process -------------------------------------------

struct LockCase {
    const char* name;
    uint64_t heldUntil;  // simulated ms
    std::string outcome;
    unsigned attempts;
    uint64_t slept;
};

TEST_F(CopyPayloadTest, LockTimeline) {
    const std::string payload = "server build 2";
    const LockCase cases[] = {
        {"free at once", 0, " ok\n", 1, 0},
        {"released as the first wait ends", 5000, kRetry + " ok\n", 2, 5000},
        {"released during the second wait", 7000, kRetry + kRetry + " ok\n", 3, 10000},
        {"released as the third wait ends", 15000, kRetry + kRetry + kRetry + " ok\n", 4, 15000},
        {"never released", sim::kForever, kRetry + kRetry + kRetry + red(" failed: 0x00000020\n"), 4, 15000},
    };
    for (const LockCase& c : cases) {
        SCOPED_TRACE(c.name);
        sim::reset();
        SetUp();
        setPayloadResource(102, zlibStream(payload));
        sim::writeFile(kServerFile, "server build 1");
        sim::holdFile(kServerFile, c.heldUntil);

        bool ok = copyPayload(context, kServer);
        EXPECT_EQ(ok, c.heldUntil != sim::kForever);
        EXPECT_EQ(sim::transcript(), "Copying \"qmx.ua.kyt.exe\"..." + c.outcome);
        EXPECT_EQ(sim::callCount("CreateFileA"), c.attempts);
        // Every attempt is a whole extraction, from finding the resource on.
        EXPECT_EQ(sim::callCount("FindResourceW"), c.attempts);
        EXPECT_EQ(sim::totalSlept(), c.slept);
        EXPECT_EQ(sim::now(), c.slept);
        EXPECT_EQ(sim::readFile(kServerFile), ok ? payload : "server build 1");
        EXPECT_EQ(sim::leaks(), "");
    }
}

TEST_F(CopyPayloadTest, EachDotIsShownAsItsSecondPasses) {
    setPayloadResource(102, zlibStream("x"));
    sim::writeFile(kServerFile, "old");
    sim::holdFile(kServerFile, 7000);
    ASSERT_TRUE(copyPayload(context, kServer));
    EXPECT_EQ(sim::sleepLog(), "1000,1000,1000,1000,1000,1000,1000,1000,1000,1000");
    const std::string line = "Copying \"qmx.ua.kyt.exe\"...";
    EXPECT_EQ(sim::plainOutputAt(0), line + "\n  retry in 5 sec");
    for (unsigned second = 1; second <= 10; ++second) {
        SCOPED_TRACE(second);
        std::string shown = line;
        for (unsigned s = 1; s <= second; ++s) {
            if (s == 1 || s == 6) shown += "\n  retry in 5 sec";
            shown += ".";
        }
        if (second == 5) shown += "\n  retry in 5 sec";  // the second wait begins at once
        if (second == 10) shown += " ok\n";
        EXPECT_EQ(sim::plainOutputAt(second * 1000 - 1), sim::plainOutputAt((second - 1) * 1000));
        EXPECT_EQ(sim::plainOutputAt(second * 1000), shown);
    }
}

// ---- targets, folders and paths ----------------------------------------------------

TEST_F(CopyPayloadTest, FileNameWithTwoSubfoldersCreatesBoth) {
    const PayloadEntry nested{101, "sub1\\sub2\\file.exe", 0};
    setPayloadResource(101, zlibStream("nested payload"));
    ASSERT_TRUE(copyPayload(context, nested));
    EXPECT_EQ(sim::transcript(), "Copying \"sub1\\sub2\\file.exe\"... ok\n");
    EXPECT_TRUE(sim::isDir(std::string(kDestination) + "sub1"));
    EXPECT_TRUE(sim::isDir(std::string(kDestination) + "sub1\\sub2"));
    EXPECT_EQ(sim::readFile(std::string(kDestination) + "sub1\\sub2\\file.exe"), "nested payload");
}

TEST_F(CopyPayloadTest, SubfolderThatCannotBeCreatedEndsTheStep) {
    const PayloadEntry nested{101, "sub1\\file.exe", 0};
    setPayloadResource(101, zlibStream("nested payload"));
    sim::failOnce("CreateDirectoryA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(copyPayload(context, nested));
    EXPECT_EQ(sim::transcript(), "Copying \"sub1\\file.exe\"...\n  " +
                                     red("Failed to create dir \"" + std::string(kDestination) +
                                         "sub1\": 0x00000005\n"));
    EXPECT_EQ(sim::callCount("FindResourceW"), 0u);
}

TEST_F(CopyPayloadTest, InstalledFilePathMustFitTwoHundredSixtyBytes) {
    struct Case {
        size_t destinationLength;
        const PayloadEntry* entry;
        bool fits;
    };
    const Case cases[] = {
        {240, &kCtrl, true}, {241, &kCtrl, false}, {245, &kServer, true}, {246, &kServer, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.destinationLength) + " " + c.entry->fileName);
        sim::reset();
        SetUp();
        const std::string destination = "C:\\" + std::string(c.destinationLength - 4, 'd') + "\\";
        sim::makeDir(destination);
        std::strcpy(context.destinationPath, destination.c_str());
        setPayloadResource(c.entry->resourceId, zlibStream("payload"));
        unsigned changes = sim::fileChanges();

        bool ok = copyPayload(context, *c.entry);
        const std::string line = "Copying \"" + std::string(c.entry->fileName) + "\"...";
        EXPECT_EQ(ok, c.fits);
        EXPECT_EQ(sim::transcript(), line + (c.fits ? " ok\n" : red("internal error\n")));
        EXPECT_EQ(sim::readFile(destination + c.entry->fileName), c.fits ? "payload" : "");
        if (!c.fits) {
            EXPECT_EQ(sim::fileChanges(), changes);
            EXPECT_EQ(sim::callCount("FindResourceW"), 0u);
        }
    }
}

// ---- platform failures -------------------------------------------------------------

TEST_F(CopyPayloadTest, PlatformFailuresEndTheStepWithTheirCode) {
    struct Case {
        const char* name;
        const char* call;
        DWORD code;
        unsigned nth;
        uint64_t diskSpace;  // 0: unlimited
        std::string outcome;
        std::string onDisk;
    };
    const std::string a = fileA();
    const Case cases[] = {
        {"resource cannot be loaded", "LoadResource", ERROR_RESOURCE_DATA_NOT_FOUND, 1, 0,
         red(" failed: 0x00000714\n"), "previous"},
        {"target cannot be created", "CreateFileA", ERROR_ACCESS_DENIED, 1, 0, red(" failed: 0x00000005\n"),
         "previous"},
        // Truncated by then, and nothing written after the allocation failed.
        {"output buffer not available", "malloc", ERROR_NOT_ENOUGH_MEMORY, 1, 0, red(" failed: 0x00000008\n"), ""},
        {"first write fails", "WriteFile", ERROR_ACCESS_DENIED, 1, 0, red(" failed: 0x00000005\n"), ""},
        {"disk full in the middle", nullptr, 0, 0, kBlock + 1000, red(" failed: 0x00000070\n"), a.substr(0, kBlock)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::reset();
        SetUp();
        sim::writeFile(kCtrlFile, "previous");
        setPayloadResource(101, zlibStream(a));
        if (c.call) sim::failOnce(c.call, c.code, c.nth);
        if (c.diskSpace) sim::setDiskSpace(c.diskSpace);

        EXPECT_FALSE(copyPayload(context, kCtrl));
        EXPECT_EQ(sim::transcript(), "Copying \"qmx.ua.kyt.ctrl.exe\"..." + c.outcome);
        EXPECT_TRUE(sim::readFile(kCtrlFile) == c.onDisk) << sim::readFile(kCtrlFile).size() << " bytes on disk";
        EXPECT_EQ(sim::callCount("CreateFileA"), std::string(c.name) == "resource cannot be loaded" ? 0u : 1u);
        EXPECT_EQ(sim::totalSlept(), 0u);  // only a sharing violation is waited for
        EXPECT_EQ(sim::leaks(), "");
    }
}

TEST_F(CopyPayloadTest, ExtractResourceReportsTheCodeItself) {
    setPayloadResource(101, zlibStream("abc"));
    EXPECT_EQ(extractResource(101, kCtrlFile.c_str()), 0u);
    EXPECT_EQ(sim::readFile(kCtrlFile), "abc");
    EXPECT_EQ(extractResource(103, kCtrlFile.c_str()), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(extractResource(101, "C:\\no such folder\\x.exe"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(sim::transcript(), "");
}

}  // namespace
