#include <gtest/gtest.h>

#include "CupsdEnvironment.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new kesto::test::CupsdEnvironment);
    return RUN_ALL_TESTS();
}
