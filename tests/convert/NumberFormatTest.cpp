#include "glf/NumberFormat.h"
#include "glf/BackgroundSink.h"
#include "glf/GlfWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kesto {
namespace {

TEST(NumberMasks, WholeNumbersRoundHalvesAwayFromZero) {
    EXPECT_EQ(formatNumber(5939.6, Mask::Integer), "5940");
    EXPECT_EQ(formatNumber(-4200, Mask::Integer), "-4200");
    EXPECT_EQ(formatNumber(0.4, Mask::Integer), "0");
    EXPECT_EQ(formatNumber(2.5, Mask::Integer), "3");
    EXPECT_EQ(formatNumber(-2.5, Mask::Integer), "-3");
    EXPECT_EQ(formatNumber(0.5, Mask::Integer), "1");
    EXPECT_EQ(formatNumber(1e20, Mask::Integer), "100000000000000000000");
}

TEST(NumberMasks, ZeroIsWrittenWithoutAMinusSign) {
    EXPECT_EQ(formatNumber(-0.2, Mask::Integer), "0");
    EXPECT_EQ(formatNumber(-0.0, Mask::Integer), "0");
    EXPECT_EQ(formatNumber(-0.000001, Mask::Fixed1To5), "0.0");
    EXPECT_EQ(formatNumber(-0.000001, Mask::NoLeadFixed1To5), ".0");
}

TEST(NumberMasks, DecimalMasksShowOneToTheirMostDecimals) {
    EXPECT_EQ(formatNumber(2, Mask::Fixed1To5), "2.0");
    EXPECT_EQ(formatNumber(0.123456, Mask::Fixed1To5), "0.12346");
    EXPECT_EQ(formatNumber(0.7, Mask::Fixed1To5), "0.7");
    EXPECT_EQ(formatNumber(12.000001, Mask::Fixed1To5), "12.0");
    EXPECT_EQ(formatNumber(-1.5, Mask::Fixed1To5), "-1.5");
    EXPECT_EQ(formatNumber(1.25, Mask::Fixed1To3), "1.25");
    EXPECT_EQ(formatNumber(3, Mask::Fixed1To3), "3.0");
    EXPECT_EQ(formatNumber(0.268, Mask::Fixed1To3), "0.268");
}

TEST(NumberMasks, TheNoLeadMaskDropsTheIntegerZero) {
    EXPECT_EQ(formatNumber(0.5, Mask::NoLeadFixed1To5), ".5");
    EXPECT_EQ(formatNumber(90, Mask::NoLeadFixed1To5), "90.0");
    EXPECT_EQ(formatNumber(-0.25, Mask::NoLeadFixed1To5), "-.25");
    EXPECT_EQ(formatNumber(-180, Mask::NoLeadFixed1To5), "-180.0");
}

TEST(NumberMasks, TheScratchMaskPadsToEightIntegerDigits) {
    EXPECT_EQ(formatNumber(12.5, Mask::Scratch), "00000012.500");
    EXPECT_EQ(formatNumber(-12.5, Mask::Scratch), "-00000012.500");
}

TEST(NumberMasks, FifteenSignificantDigitsDecideATieBeforeTheMaskRounds) {
    // 1.0005 is stored as 1.000499999…; at 15 digits it is 1.00050000000000.
    EXPECT_EQ(formatNumber(1.0005, Mask::Fixed1To3), "1.001");
    EXPECT_EQ(formatNumber(0.125, Mask::Fixed1To3), "0.125");
    EXPECT_EQ(formatNumber(1.000005, Mask::Fixed1To5), "1.00001");
    EXPECT_EQ(formatNumber(-1.000005, Mask::Fixed1To5), "-1.00001");
    EXPECT_EQ(formatNumber(2.4999999999999996, Mask::Integer), "3");
    EXPECT_EQ(formatNumber(9.999995, Mask::Fixed1To5), "10.0");
    EXPECT_EQ(formatNumber(99999.5, Mask::Integer), "100000");
}

TEST(NumberMasks, ScratchPointsRoundToThousandthsHalfAwayFromZero) {
    EXPECT_DOUBLE_EQ(roundLikeMask(1.0005, 3), 1.001);
    EXPECT_DOUBLE_EQ(roundLikeMask(-1.0005, 3), -1.001);
    EXPECT_DOUBLE_EQ(roundLikeMask(-0.0004, 3), 0.0);
    EXPECT_DOUBLE_EQ(roundLikeMask(123.4564, 3), 123.456);
}

TEST(NumberMasks, NotANumberNeverReachesTheFile) {
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::quiet_NaN(), Mask::Integer), "0");
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::infinity(), Mask::Fixed1To5), "0.0");
}

// The direct ways (whole units written inline, decimals rounded in binary)
// must give exactly the text of the 15-digit way, above all next to halves.
std::vector<double> crossCheckValues() {
    std::vector<double> v = {0.0,
                             -0.0,
                             0.5,
                             -0.5,
                             1.0005,
                             2.4999999999999996,
                             99999998.5,
                             99999998.99999999,
                             99999999.0,
                             99999999.49999999,
                             99999999.5,
                             1e8,
                             4294967295.5,
                             1e14 - 0.5,
                             1e14,
                             1e15 + 0.5,
                             1e20,
                             1e300,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
    std::mt19937_64 rng(20240611);
    auto around = [&](double x) {
        v.push_back(x);
        double up = x, down = x;
        for (int k = 0; k < 3; ++k) {
            up = std::nextafter(up, INFINITY);
            down = std::nextafter(down, -INFINITY);
            v.push_back(up);
            v.push_back(down);
        }
        v.push_back(x * (1 + 3e-15));
        v.push_back(x * (1 - 3e-15));
    };
    // Halves of every mask's last digit, and the ulps next to them.
    const double units[] = {1, 1e-3, 1e-5};
    for (int i = 0; i < 1500; ++i) {
        const double whole = static_cast<double>(rng() % 200000000);
        for (double unit : units)
            around((whole + 0.5) * unit);
    }
    // Plotter coordinates as page setup makes them.
    for (int i = 0; i < 10000; ++i) {
        const double c = static_cast<double>(rng() % 65536);
        const double origin = static_cast<double>(rng() % 65536) / 7;
        const double scale = static_cast<double>(rng() % 200 + 1) * (1 + (rng() % 4) * 0.125);
        v.push_back((c - origin) * scale / 25);
    }
    // Any magnitude, with random bits below.
    std::uniform_real_distribution<double> exponent(-8, 22);
    for (int i = 0; i < 8000; ++i)
        v.push_back(std::pow(10.0, exponent(rng)) * (rng() % 2 ? 1 : -1));
    for (std::size_t i = 0, n = v.size(); i < n; ++i)
        v.push_back(-v[i]);
    return v;
}

// Every group of four digits, alone and after a leading group, with and
// without zeros inside: the looked-up digits of whole numbers.
TEST(NumberMasks, WholeNumbersHaveTheirDecimalDigits) {
    char text[kMaxFormattedLength];
    int failures = 0;
    for (std::uint32_t low = 0; low < 10000; ++low) {
        for (const std::uint32_t high : {0u, 1u, 7u, 42u, 100u, 3364u, 9999u}) {
            const std::uint32_t n = high * 10000 + low;
            for (const double value : {static_cast<double>(n), -static_cast<double>(n)}) {
                const std::string want = (value < 0 ? "-" : "") + std::to_string(n);
                const std::string got(text, writeInteger(value, text));
                if (got != want && ++failures <= 10)
                    ADD_FAILURE() << value << ": " << got << " instead of " << want;
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(NumberMasks, DirectWaysGiveTheTextOfTheFifteenDigitWay) {
    const std::vector<double> values = crossCheckValues();
    const Mask masks[] = {Mask::Integer, Mask::Fixed1To5, Mask::NoLeadFixed1To5, Mask::Fixed1To3,
                          Mask::Scratch};
    char exact[kMaxFormattedLength];
    char direct[kMaxFormattedLength];
    char inl[kMaxFormattedLength + 8];
    int failures = 0;
    for (double value : values) {
        for (Mask mask : masks) {
            const std::string want(exact, formatNumberExact(value, mask, exact));
            const std::string got(direct, formatNumber(value, mask, direct));
            if (got != want && ++failures <= 10)
                ADD_FAILURE() << "mask " << static_cast<int>(mask) << " value " << std::hexfloat
                              << value << ": " << got << " instead of " << want;
        }
        const std::string want(exact, formatNumberExact(value, Mask::Integer, exact));
        const std::string got(inl, writeInteger(value, inl));
        if (got != want && ++failures <= 10)
            ADD_FAILURE() << "inline, value " << std::hexfloat << value << ": " << got
                          << " instead of " << want;
        // Masks that round at 0, 3 and 5 decimals; their text reads back as the value.
        for (auto [decimals, mask] : {std::pair{0, Mask::Integer}, std::pair{3, Mask::Scratch},
                                      std::pair{5, Mask::Fixed1To5}}) {
            const int n = formatNumberExact(value, mask, exact);
            const double rounded = std::strtod(std::string(exact, n).c_str(), nullptr);
            const double r = roundLikeMask(value, decimals);
            if (!(r == rounded) && ++failures <= 10)
                ADD_FAILURE() << "rounded to " << decimals << ", value " << std::hexfloat << value
                              << ": " << r << " instead of " << rounded;
        }
    }
    EXPECT_EQ(failures, 0);
}

struct SlotFixture : ::testing::Test {
    StringSink sink;
    GlfWriter out{sink};
    std::string text() {
        out.flush();
        return sink.text;
    }
};

TEST_F(SlotFixture, AStyleFlushAlsoWritesTheTextSlots) {
    out.setPending(Slot::Style, "SP1;LT;");
    out.setPending(Slot::Spacing, "ES0.5;");
    out.flushPendingStyle();
    EXPECT_EQ(text(), "SP1;LT;ES0.5;");
}

TEST_F(SlotFixture, AnEmptyStyleSlotLeavesTheTextSlotsPending) {
    out.setPending(Slot::Spacing, "ES0.5;");
    out.flushPendingStyle();
    EXPECT_EQ(text(), "");
    out.flushPendingText();
    EXPECT_EQ(text(), "ES0.5;");
}

TEST_F(SlotFixture, ACommandEqualToTheLastOneWrittenStaysOutAndPending) {
    out.setPending(Slot::Direction, "DI1.0,0.0;");
    out.flushPendingText();
    out.setPending(Slot::Direction, "DI1.0,0.0;");
    out.flushPendingText();
    EXPECT_EQ(text(), "DI1.0,0.0;");
    EXPECT_EQ(out.pending(Slot::Direction), "DI1.0,0.0;");
    out.setPending(Slot::Style, "SP2;LT;");
    out.flushPendingStyle();
    out.setPending(Slot::Style, "SP2;LT;");
    out.flushPendingStyle();
    EXPECT_EQ(text(), "DI1.0,0.0;SP2;LT;");
}

TEST_F(SlotFixture, TextSlotsAreWrittenInDirectionSpacingSlantOrder) {
    out.setPending(Slot::Slant, "SL0.268;");
    out.setPending(Slot::Spacing, "ES0.0;");
    out.setPending(Slot::Direction, "DI0.0,1.0;");
    out.flushPendingText();
    EXPECT_EQ(text(), "DI0.0,1.0;ES0.0;SL0.268;");
}

// A sink that refuses every put from the `failAt`-th on (0: never).
class CountingSink final : public GlfSink {
public:
    explicit CountingSink(int failAt) : failAt_(failAt) {}
    bool put(const char* data, std::size_t size) override {
        // As slow as a disk: a store still running shows in the text.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (++puts_ == failAt_ || (failAt_ != 0 && puts_ > failAt_)) return false;
        text.append(data, size);
        return true;
    }
    std::string text;

private:
    int failAt_;
    int puts_ = 0;
};

// Through the writer's two buffers, directly and with the file written on a
// second thread: every byte in order, and a failed store is reported by the
// writer even when the thread met it.
TEST(GlfWriterBuffer, LongOutputReachesTheSinkWholeOrTheFailureIsReported) {
    std::string expected;
    for (int i = 0; i < 100000; ++i)
        expected += "PA" + std::to_string(i) + "," + formatNumber(-i * 0.5, Mask::Integer) + ";";
    for (const bool background : {false, true}) {
        for (const int failAt : {0, 1, 3}) {
            SCOPED_TRACE(testing::Message()
                         << "background " << background << ", fail at " << failAt);
            CountingSink target(failAt);
            bool ok = false;
            {
                BackgroundSink threaded(target);
                GlfWriter out(background ? static_cast<GlfSink&>(threaded) : target);
                for (int i = 0; i < 100000; ++i)
                    out.put("PA").num(i).put(',').num(-i * 0.5).put(';');
                // A full buffer handed over and nothing after it: the flush
                // still waits for it.
                out.commit(out.reserve(GlfWriter::kBufferSize));
                out.flush();
                ok = out.ok();
                if (ok) {
                    EXPECT_EQ(target.text.size(), expected.size());
                }
            }
            EXPECT_EQ(ok, failAt == 0);
            if (failAt == 0) {
                EXPECT_EQ(target.text, expected);
            }
        }
    }
}

} // namespace
} // namespace kesto
