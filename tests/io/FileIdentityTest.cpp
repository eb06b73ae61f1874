// A file's identity tells a rewritten or replaced drawing from the one that
// was converted, however little time passed; a whole-file read refuses what
// is not a stable regular file.
#include "io/FileBytes.h"

#include "FileCalls.h"
#include "IoTestSupport.h"

#include <fcntl.h>
#include <future>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace kesto {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Folder;

// Sets the file's times to `seconds` and `nanoseconds` since the epoch.
void setTime(const fs::path& file, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

FileIdentity identityOf(const fs::path& file, Links links = Links::NotFollowed) {
    FileIdentity id;
    const Status s = fileIdentity(file, id, links);
    EXPECT_TRUE(s) << s.reason();
    return id;
}

TEST(FileIdentity, ARewriteWithinTheSameSecondAtTheSameSizeOrAReplacementIsAnotherFile) {
    Folder folder;
    const fs::path ofi = folder / "PLAN.OFI";
    test::writeBytes(ofi, "first drawing");
    setTime(ofi, 1'700'000'000, 100'000'000);
    const FileIdentity converted = identityOf(ofi);
    EXPECT_EQ(converted.size, 13u);
    EXPECT_EQ(identityOf(ofi), converted) << "an untouched file is the same file";

    // Rewritten in place 0.1 s later, same size.
    test::writeBytes(ofi, "other drawing");
    setTime(ofi, 1'700'000'000, 200'000'000);
    const FileIdentity rewritten = identityOf(ofi);
    EXPECT_NE(rewritten, converted);
    EXPECT_EQ(rewritten.inode, converted.inode);

    // Replaced by another file of the same size and the very same time.
    test::writeBytes(folder / "NEW.OFI", "third drawing");
    setTime(folder / "NEW.OFI", 1'700'000'000, 200'000'000);
    fs::rename(folder / "NEW.OFI", ofi);
    EXPECT_NE(identityOf(ofi), rewritten);
}

TEST(FileIdentity, ALinkIsNoFileUnlessLinksAreFollowed) {
    Folder folder;
    test::writeBytes(folder / "REAL.OFI", "drawing");
    fs::create_symlink(folder / "REAL.OFI", folder / "LINK.OFI");
    FileIdentity id;
    const Status s = fileIdentity(folder / "LINK.OFI", id);
    EXPECT_FALSE(s);
    EXPECT_NE(s.reason().find("LINK.OFI"), std::string::npos) << s.reason();
    EXPECT_EQ(identityOf(folder / "LINK.OFI", Links::Followed), identityOf(folder / "REAL.OFI"));
}

TEST(FileBytes, AFifoIsRefusedWithoutWaitingForAWriter) {
    Folder folder;
    const fs::path fifo = folder / "PIPE.OFI";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] {
        FileBytes bytes;
        return bytes.read(fifo);
    });
    if (reading.wait_for(5s) != std::future_status::ready) {
        ADD_FAILURE() << "the read waits for a writer";
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        ::close(writer);
    }
    const Status s = reading.get();
    EXPECT_FALSE(s);
    EXPECT_NE(s.reason().find("not a regular file"), std::string::npos) << s.reason();
}

// The CAD system writes on while we read: appended to, or cut short.
TEST(FileBytes, AFileThatChangesWhileItIsReadIsRefused) {
    Folder folder;
    const fs::path ofi = folder / "PLAN.OFI";
    for (const bool grow : {true, false}) {
        test::writeBytes(ofi, std::string(70000, 'd'));
        test::FileCalls calls;
        calls.beforeFirstRead([&] {
            if (grow)
                std::ofstream(ofi, std::ios::binary | std::ios::app) << "more";
            else
                fs::resize_file(ofi, 1000);
        });
        FileBytes bytes;
        const Status s = bytes.read(ofi);
        EXPECT_FALSE(s) << (grow ? "appended" : "truncated");
        EXPECT_NE(s.reason().find("changed while it was read"), std::string::npos) << s.reason();
        EXPECT_EQ(bytes.size(), 0u);
    }
    test::writeBytes(ofi, "steady");
    FileBytes bytes;
    ASSERT_TRUE(bytes.read(ofi));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "steady");
    EXPECT_EQ(bytes.identity(), identityOf(ofi));
}

} // namespace
} // namespace kesto
