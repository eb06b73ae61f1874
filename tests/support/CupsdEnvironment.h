#pragma once
// One private print server per test program, with one raw queue that feeds a
// capture listener.  Register it in main() with
//   testing::AddGlobalTestEnvironment(new kesto::test::CupsdEnvironment);
// Tests are skipped only when cupsd is not installed at all.

#include <memory>

#include <gtest/gtest.h>

#include "CaptureListener.h"
#include "PrivateCupsd.h"

namespace kesto::test {

class CupsdEnvironment : public ::testing::Environment {
public:
    // The raw queue that sends its jobs to capture().
    static constexpr const char* kQueue = "kesto-test";

    void SetUp() override;
    void TearDown() override;

    // The running environment, or null outside of it.
    static CupsdEnvironment* current() { return current_; }
    PrivateCupsd& cupsd() { return *cupsd_; }
    CaptureListener& capture() { return *capture_; }

private:
    static inline CupsdEnvironment* current_ = nullptr;
    std::unique_ptr<PrivateCupsd> cupsd_;
    std::unique_ptr<CaptureListener> capture_;
};

} // namespace kesto::test
