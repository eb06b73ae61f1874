// The atomic writer: a save that cannot replace its target fails and leaves
// nothing behind, the data reaches the disk before the new name does, and the
// temporaries of a killed run are removed while a live writer's are not.
#include "io/AtomicFile.h"
#include "io/ReplaceFile.h"

#include "FileCalls.h"
#include "IoTestSupport.h"

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kesto {
namespace {

namespace fs = std::filesystem;
using test::Folder;
using test::readBytes;

// The index of the first log entry that starts with `call` and holds `what`.
std::ptrdiff_t find(const std::vector<std::string>& log, const std::string& call,
                    const std::string& what) {
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i].starts_with(call + " ") && log[i].find(what) != std::string::npos)
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::string joined(const std::vector<std::string>& log) {
    std::string text;
    for (const auto& line : log)
        text += line + "\n";
    return text;
}

// Saves `bytes` onto `target` as a user without root's rights would.
Status saveAsOrdinaryUser(const fs::path& target, const std::string& bytes) {
    const std::string reason = test::asOrdinaryUser([&] {
        const Status s = replaceFileContents(target, bytes);
        return s ? std::string() : s.reason();
    });
    return reason.empty() ? Status() : Status::failure(reason);
}

TEST(AtomicFile, ASaveOntoANameThatCannotBeReplacedFailsWithTheCauseAndLeavesNoTemporary) {
    Folder folder;
    // A non-empty folder under the target's name.
    fs::create_directories(folder / "PLAN.GLF" / "inside");
    Status s = replaceFileContents(folder / "PLAN.GLF", "IN;");
    EXPECT_FALSE(s);
    EXPECT_NE(s.reason().find("PLAN.GLF"), std::string::npos) << s.reason();
    EXPECT_NE(s.reason().find(std::strerror(EISDIR)), std::string::npos) << s.reason();
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"PLAN.GLF"}));
    EXPECT_TRUE(fs::is_directory(folder / "PLAN.GLF" / "inside"));

    // A read-only folder: the file in it stays as it was.
    fs::create_directory(folder / "ro");
    test::writeBytes(folder / "ro" / "Kesto.sys", "old");
    fs::permissions(folder / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
    s = saveAsOrdinaryUser(folder / "ro" / "Kesto.sys", "new");
    EXPECT_FALSE(s);
    EXPECT_NE(s.reason().find(std::strerror(EACCES)), std::string::npos) << s.reason();
    EXPECT_EQ(readBytes(folder / "ro" / "Kesto.sys"), "old");
    EXPECT_EQ(Folder::namesIn(folder / "ro"), (std::vector<std::string>{"Kesto.sys"}));
    fs::permissions(folder / "ro", fs::perms::owner_all);
}

TEST(AtomicFile, TheDataReachesTheDiskBeforeTheNewNameAndTheNameBeforeCommitReturns) {
    Folder folder;
    const fs::path target = folder / "PLAN.GLF";
    std::vector<std::string> log;
    {
        test::FileCalls calls;
        ASSERT_TRUE(replaceFileContents(target, std::string(100000, 'x')));
        log = calls.log();
    }
    ASSERT_EQ(readBytes(target), std::string(100000, 'x'));
    const auto renamed = find(log, "rename", target.string());
    ASSERT_GE(renamed, 0) << joined(log);
    // "rename TEMP TARGET": the temporary's path is the first word after the call.
    const std::string temp = log[renamed].substr(7, log[renamed].find(' ', 7) - 7);
    EXPECT_TRUE(isTemporaryName(fs::path(temp).filename().string())) << temp;
    std::ptrdiff_t lastWrite = -1;
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i] == "write " + temp) lastWrite = static_cast<std::ptrdiff_t>(i);
    const auto dataSynced = find(log, "fsync", temp);
    std::ptrdiff_t folderSync = -1;
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i] == "fsync " + folder.path().string())
            folderSync = static_cast<std::ptrdiff_t>(i);
    EXPECT_GE(lastWrite, 0) << joined(log);
    EXPECT_LT(lastWrite, dataSynced) << joined(log);
    EXPECT_LT(dataSynced, renamed) << joined(log);
    EXPECT_LT(renamed, folderSync) << joined(log);
}

// A failing call of the system, and writes that the system takes in pieces.
TEST(AtomicFile, AFailedFlushOrRenameKeepsTheOldFileAndShortWritesLoseNothing) {
    Folder folder;
    const fs::path target = folder / "Kesto.sys";
    for (const char* call : {"fsync", "rename", "write"}) {
        test::writeBytes(target, "old");
        test::FileCalls calls;
        calls.failNext(call, EIO);
        const Status s = replaceFileContents(target, "new");
        EXPECT_FALSE(s) << call;
        EXPECT_NE(s.reason().find(std::strerror(EIO)), std::string::npos) << s.reason();
        EXPECT_EQ(readBytes(target), "old") << call;
        EXPECT_EQ(folder.names(), (std::vector<std::string>{"Kesto.sys"})) << call;
    }
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + i % 26);
    test::FileCalls calls;
    calls.limitWrites(4096);
    ASSERT_TRUE(replaceFileContents(target, big));
    EXPECT_TRUE(readBytes(target) == big);
}

// A temporary: what a killed run left, what a live writer holds.
TEST(AtomicFile, LeftoverTemporariesOfADeadRunGoAndALiveOrRecentOneStays) {
    Folder folder;
    const fs::path dead = folder / ".~kesto-00000000deadbeef.tmp";
    test::writeBytes(dead, "half a drawing");
    test::makeOld(dead);
    // A fresh one, not yet locked by the writer that just made it.
    const fs::path fresh = folder / ".~kesto-0123456789abcdef.tmp";
    test::writeBytes(fresh, "");
    // Not temporaries of ours, however old.
    const std::vector<std::string> others = {
        ".~kesto-0123456789abcde.tmp", ".~kesto-0123456789abcdef0.tmp",
        ".~kesto-0123456789ABCDEF.tmp", ".~kesto-0123456789abcdeg.tmp", "PLAN.OFI"};
    for (const auto& name : others) {
        test::writeBytes(folder / name, "x");
        test::makeOld(folder / name);
    }
    // A live writer, busy with a drawing for a long while.
    const std::vector<std::string> before = folder.names();
    AtomicFile live;
    ASSERT_TRUE(live.create(folder / "LIVE.GLF"));
    ASSERT_TRUE(live.write("IN;", 3));
    fs::path liveTemporary;
    for (const auto& name : folder.names())
        if (std::find(before.begin(), before.end(), name) == before.end())
            liveTemporary = folder / name;
    ASSERT_TRUE(isTemporaryName(liveTemporary.filename().string())) << liveTemporary;
    test::makeOld(liveTemporary);

    removeLeftoverTemporaries(folder.path());
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_TRUE(fs::exists(liveTemporary));
    for (const auto& name : others)
        EXPECT_TRUE(fs::exists(folder / name)) << name;
    ASSERT_TRUE(live.commit(Durability::Replace));
    EXPECT_EQ(readBytes(folder / "LIVE.GLF"), "IN;");
}

} // namespace
} // namespace kesto
