// The system's lock on a file: a drawing the spooler may only read can still
// be claimed, a link is never locked in place of its file, and a lock file's
// note of its holder is replaced whole.
#include "io/FileLock.h"
#include "io/SystemError.h"

#include "IoTestSupport.h"

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

namespace kesto {
namespace {

namespace fs = std::filesystem;
using test::Folder;

TEST(FileLock, AReadOnlyFileIsClaimedALinkIsNotAndTheNoteIsReplacedWhole) {
    Folder folder;
    const fs::path ofi = folder / "PLAN.OFI";
    test::writeBytes(ofi, "drawing");
    fs::permissions(ofi, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string claimed = test::asOrdinaryUser([&] {
        FileLock claim;
        return claim.tryLock(ofi, FileLock::Open::Existing) == FileLockState::Acquired
                   ? std::string("claimed")
                   : claim.error();
    });
    EXPECT_EQ(claimed, "claimed");

    fs::create_symlink(ofi, folder / "LINK.OFI");
    FileLock link;
    EXPECT_EQ(link.tryLock(folder / "LINK.OFI", FileLock::Open::Existing), FileLockState::Error);
    EXPECT_NE(link.error().find("LINK.OFI"), std::string::npos) << link.error();
    EXPECT_NE(link.error().find(std::strerror(ELOOP)), std::string::npos) << "the real cause";
    FileLock file;
    EXPECT_EQ(file.tryLock(ofi, FileLock::Open::Existing), FileLockState::Acquired);

    const fs::path wok = folder / "Kesto.wok";
    test::writeBytes(wok, "123456789\n");
    FileLock lock;
    ASSERT_EQ(lock.tryLock(wok, FileLock::Open::CreateIfNeeded), FileLockState::Acquired);
    ASSERT_TRUE(lock.writeContent("42\n"));
    EXPECT_EQ(test::readBytes(wok), "42\n");
}

std::size_t openDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// A polling spooler claims and releases files for months: every way through
// tryLock and unlock gives its descriptor back.
TEST(FileLock, NoDescriptorIsLeftOpenWhateverTheOutcome) {
    Folder folder;
    test::writeBytes(folder / "A.OFI", "drawing");
    const std::size_t before = openDescriptors();
    for (int i = 0; i < 50; ++i) {
        FileLock first, second, missing;
        ASSERT_EQ(first.tryLock(folder / "A.OFI", FileLock::Open::Existing),
                  FileLockState::Acquired);
        EXPECT_EQ(second.tryLock(folder / "A.OFI", FileLock::Open::Existing), FileLockState::Held);
        EXPECT_EQ(missing.tryLock(folder / "B.OFI", FileLock::Open::Existing),
                  FileLockState::Error);
        first.unlock();
    }
    EXPECT_EQ(openDescriptors(), before);
}

// A failure always carries a reason, and never the system's "Success".
TEST(SystemError, AFailureWithoutAnErrorNumberSaysSoAndNotSuccess) {
    for (const std::string& reason :
         {errnoFailure("PLAN.GLF", 0).reason(), errorCodeText(std::error_code()),
          Status::failure("").reason()}) {
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(reason.find("Success"), std::string::npos) << reason;
    }
    EXPECT_NE(errnoFailure("PLAN.GLF", ENOSPC).reason().find(std::strerror(ENOSPC)),
              std::string::npos);
}

} // namespace
} // namespace kesto
