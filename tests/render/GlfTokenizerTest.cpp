// Numbers of HP-GL parameters as the plotter reads them, each against the
// value it stands for written out as a C++ literal.

#include "render/GlfTokenizer.h"

#include <gtest/gtest.h>

#include <string>

namespace kesto::render {
namespace {

TEST(GlfTokenizer, NumbersReadAsThePlotterWritesThem) {
    struct Case {
        const char* text;
        bool read;
        double value;
        unsigned bad; // parameters counted as bad
    };
    const Case cases[] = {
        {"0", true, 0, 0},
        {"  ,-12", true, -12, 0},
        {"+7", true, 7, 0},
        {"3.5", true, 3.5, 0},
        {".25", true, 0.25, 0},
        {"-.75", true, -0.75, 0},
        {"1234567.125", true, 1234567.125, 0},
        {"000000000000000000000000042", true, 42, 0}, // leading zeros are no digits
        {"999999999", true, 999999999, 0},
        {"1000000000", true, 1e9, 0},
        {"1000000001", true, 1e9, 1}, // beyond any plotter: held at the limit
        {"123456789012345678901234", true, 1e9, 1},
        {"-99999999999999999", true, -1e9, 1},
        {"-", false, 0, 1},
        {".", false, 0, 1},
        {"X", false, 0, 0},
        {";", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RenderStats stats;
        GlfTokenizer tokens(stats);
        const std::string text = c.text;
        MemoryInput input(text);
        tokens.start(input);
        double value = -1;
        EXPECT_EQ(tokens.readNumber(value), c.read);
        // Fractions are summed digit by digit: within a few units in the last place.
        if (c.read) {
            EXPECT_DOUBLE_EQ(value, c.value);
        }
        EXPECT_EQ(stats.badParameters, c.bad);
    }
}

} // namespace
} // namespace kesto::render
