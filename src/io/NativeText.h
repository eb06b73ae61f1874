#pragma once
// Text at the operating system's boundary.  Inside the program every text is
// UTF-8.  On Windows the system takes and gives UTF-16 (the wide API); these
// helpers are the one place where the two meet.  On Linux and macOS file
// names are bytes and UTF-8 passes through unchanged.
//
// Never build a path from a std::string with std::filesystem::path(text) and
// never read one back with .string(): on Windows both go through the ANSI code
// page, which turns Japanese names into question marks or mojibake.

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {

// A path from UTF-8 text.  A byte sequence that is not UTF-8 becomes U+FFFD on
// Windows (it cannot name a file there) and passes through elsewhere.
std::filesystem::path pathFromUtf8(std::string_view utf8);
// The UTF-8 text of a path.
std::string utf8FromPath(const std::filesystem::path& path);

// Writes UTF-8 text to stdout or stderr.  A Windows console gets it as UTF-16,
// so that Japanese status lines show whatever the console's code page; a
// file, a pipe, or any stream on another system gets the UTF-8 bytes.
void writeText(std::FILE* stream, std::string_view utf8);

// The program's arguments as UTF-8.  On Windows they are taken from the wide
// command line (argv holds them in the ANSI code page, where a name outside
// it is already lost); elsewhere they are argv as given.
std::vector<std::string> utf8Arguments(int argc, char** argv);

#ifdef _WIN32
// UTF-16 from UTF-8; a byte that is not UTF-8 becomes U+FFFD.
std::wstring wideFromUtf8(std::string_view utf8);
// UTF-8 from UTF-16; a lone surrogate becomes U+FFFD.
std::string utf8FromWide(std::wstring_view wide);
// The system's text for a Windows error code, in UTF-8, with the code.
std::string windowsErrorText(unsigned long code);
#endif

} // namespace kesto
