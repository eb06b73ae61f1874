#include "io/NativeText.h"

#include <algorithm>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shellapi.h>
#endif

namespace kesto {

#ifdef _WIN32

namespace {

// MultiByteToWideChar and friends take int lengths; longer texts go in pieces
// cut at a character boundary.
constexpr std::size_t kMaxChunk = 1 << 28;

std::size_t utf8Boundary(std::string_view text, std::size_t at) {
    // Back up over continuation bytes so that no character is split.
    std::size_t cut = at;
    while (cut > at - 4 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut > 0 ? cut : at;
}

} // namespace

std::wstring wideFromUtf8(std::string_view utf8) {
    std::wstring wide;
    while (!utf8.empty()) {
        std::size_t take = utf8.size();
        if (take > kMaxChunk) take = utf8Boundary(utf8, kMaxChunk);
        const int in = static_cast<int>(take);
        // Without MB_ERR_INVALID_CHARS a broken sequence becomes U+FFFD.
        const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, nullptr, 0);
        if (n > 0) {
            const std::size_t at = wide.size();
            wide.resize(at + static_cast<std::size_t>(n));
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, wide.data() + at, n);
        }
        utf8.remove_prefix(take);
    }
    return wide;
}

std::string utf8FromWide(std::wstring_view wide) {
    std::string utf8;
    while (!wide.empty()) {
        std::size_t take = wide.size() > kMaxChunk ? kMaxChunk : wide.size();
        // Keep a surrogate pair together.
        if (take < wide.size() && wide[take - 1] >= 0xD800 && wide[take - 1] <= 0xDBFF) --take;
        const int in = static_cast<int>(take);
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), in, nullptr, 0, nullptr, nullptr);
        if (n > 0) {
            const std::size_t at = utf8.size();
            utf8.resize(at + static_cast<std::size_t>(n));
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), in, utf8.data() + at, n, nullptr, nullptr);
        }
        wide.remove_prefix(take);
    }
    return utf8;
}

std::string windowsErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = length && text ? utf8FromWide(std::wstring_view(text, length)) : "";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    const std::string number = "Windows error " + std::to_string(code);
    return message.empty() ? number : message + " (" + number + ")";
}

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(wideFromUtf8(utf8));
}

std::string utf8FromPath(const std::filesystem::path& path) {
    return utf8FromWide(path.native());
}

void writeText(std::FILE* stream, std::string_view utf8) {
    const DWORD which = stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    HANDLE handle = (stream == stdout || stream == stderr) ? GetStdHandle(which) : nullptr;
    DWORD mode = 0;
    if (handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        // What the C library buffered goes out first, in order.
        std::fflush(stream);
        const std::wstring wide = wideFromUtf8(utf8);
        std::size_t done = 0;
        while (done < wide.size()) {
            DWORD written = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
            if (!WriteConsoleW(handle, wide.data() + done, want, &written, nullptr) || written == 0)
                break;
            done += written;
        }
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide && count == argc) {
        for (int i = 0; i < count; ++i)
            arguments.push_back(utf8FromWide(wide[i]));
    } else {
        // Not what the C library parsed (should not happen): keep its reading.
        for (int i = 0; i < argc; ++i)
            arguments.emplace_back(argv[i]);
    }
    if (wide) LocalFree(wide);
    return arguments;
}

#else

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::string(utf8));
}

std::string utf8FromPath(const std::filesystem::path& path) {
    return path.native();
}

void writeText(std::FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

#endif

} // namespace kesto
