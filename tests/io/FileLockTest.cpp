// The system's lock on a file: a drawing the spooler may only read can still
// be claimed, a link is never locked in place of its file, and a lock file's
// note of its holder is replaced whole.
#include "io/FileLock.h"

#include "IoTestSupport.h"

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
    FileLock file;
    EXPECT_EQ(file.tryLock(ofi, FileLock::Open::Existing), FileLockState::Acquired);

    const fs::path wok = folder / "Kesto.wok";
    test::writeBytes(wok, "123456789\n");
    FileLock lock;
    ASSERT_EQ(lock.tryLock(wok, FileLock::Open::CreateIfNeeded), FileLockState::Acquired);
    ASSERT_TRUE(lock.writeContent("42\n"));
    EXPECT_EQ(test::readBytes(wok), "42\n");
}

} // namespace
} // namespace kesto
