#include "ui/logic/ChooserEntry.h"

#include <gtest/gtest.h>

namespace kesto {
namespace {

TEST(ChooserEntry, OffersNamesWithOfiInCapitalsOrSmallLettersOnly) {
    EXPECT_TRUE(isChooserCandidate("A.OFI"));
    EXPECT_TRUE(isChooserCandidate("B.ofi"));
    EXPECT_FALSE(isChooserCandidate("C.Ofi"));
    EXPECT_FALSE(isChooserCandidate("NOTES.TXT"));
    EXPECT_TRUE(isChooserCandidate("OFILIST.TXT"));
    EXPECT_TRUE(isChooserCandidate("plan.OFI.bak"));
}

TEST(ChooserEntry, EntryIsTheTitleLineAndTheNameUpToItsFirstPoint) {
    const std::string title = "部品図 A3        ,R3  "; // 21 characters
    EXPECT_EQ(chooserEntry(title, "PART-A3.OFI"), title + "(PART-A3)");
    EXPECT_EQ(chooserEntry(title, "PLAN.V2.OFI"), title + "(PLAN)");
    EXPECT_EQ(chooserEntry(title, "OFILIST.TXT"), title + "(OFILIST)");
}

TEST(ChooserEntry, NameWithoutPointIsShownWhole) {
    EXPECT_EQ(chooserEntry("t", "MYOFI"), "t(MYOFI)");
}

} // namespace
} // namespace kesto
