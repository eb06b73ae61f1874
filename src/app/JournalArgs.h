#pragma once
// What the journal's commands (history, reprint) share in reading their
// arguments.

#include "app/Commands.h"
#include "io/NativeText.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

namespace kesto {

// "kesto-cli COMMAND: message" and where to find help; the usage exit status.
inline int usageErrorOf(std::string_view command, const std::string& message) {
    const std::string name = "kesto-cli " + std::string(command);
    writeText(stderr, name + ": " + message + "\n");
    writeText(stderr, "Try '" + name + " --help'.\n");
    return kExitUsage;
}

// The whole of `text` as a number (no sign, space or other character around it).
template <class Number> bool wholeNumber(std::string_view text, Number& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

} // namespace kesto
