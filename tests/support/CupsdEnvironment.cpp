#include "CupsdEnvironment.h"

namespace kesto::test {

void CupsdEnvironment::SetUp() {
    if (!PrivateCupsd::installed())
        GTEST_SKIP() << "cupsd is not installed; no print server to test against";
    capture_ = std::make_unique<CaptureListener>();
    ASSERT_TRUE(capture_->listening()) << "cannot listen on 127.0.0.1";
    cupsd_ = std::make_unique<PrivateCupsd>();
    ASSERT_TRUE(cupsd_->start()) << cupsd_->error();
    cupsd_->useAsDefaultServer();
    ASSERT_TRUE(cupsd_->addRawQueue(kQueue, capture_->uri())) << cupsd_->error();
    current_ = this;
}

void CupsdEnvironment::TearDown() {
    current_ = nullptr;
    if (cupsd_) cupsd_->stop();
    cupsd_.reset();
    capture_.reset();
}

} // namespace kesto::test
