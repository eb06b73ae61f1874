#include "io/Cp932.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace kesto {

namespace {

// What a byte that does not decode is shown as: the katakana middle dot.
constexpr std::string_view kUndecodableMark = "・";

#ifdef _WIN32

// Code page of Shift-JIS as Windows extends it.
constexpr UINT kCodePage932 = 932;

std::optional<std::wstring> toWide(UINT codePage, std::string_view bytes) {
    if (bytes.empty()) return std::wstring();
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                            static_cast<int>(bytes.size()), wide.data(), n) != n)
        return std::nullopt;
    return wide;
}

std::optional<std::string> fromWide(UINT codePage, const std::wstring& wide) {
    if (wide.empty()) return std::string();
    // Code page 932 must not silently put "?" or a look-alike for a character it lacks.
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultPtr = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const int n = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, usedDefaultPtr);
    if (n <= 0 || usedDefault) return std::nullopt;
    std::string bytes(static_cast<size_t>(n), '\0');
    if (WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                            bytes.data(), n, nullptr, usedDefaultPtr) != n ||
        usedDefault)
        return std::nullopt;
    return bytes;
}

std::optional<std::string> convert(UINT from, UINT to, std::string_view bytes) {
    const auto wide = toWide(from, bytes);
    if (!wide) return std::nullopt;
    return fromWide(to, *wide);
}

bool isLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

#else

// Converts bytes with iconv.  Strict: any invalid or incomplete sequence, or a
// character without counterpart, fails the whole conversion.  Lenient (only
// used from code page 932): such a byte becomes kUndecodableMark and the
// conversion goes on with the next byte.
std::optional<std::string> convert(const char* to, const char* from, std::string_view bytes,
                                   bool lenient) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;

    std::string out;
    out.reserve(bytes.size() * 2);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[256];
    bool ok = true;
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer, static_cast<size_t>(o - buffer));
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (!lenient) {
            ok = false;
            break;
        }
        // EILSEQ or EINVAL: skip the offending byte and start afresh.
        out += kUndecodableMark;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    if (!ok) return std::nullopt;
    return out;
}

#endif

} // namespace

#ifdef _WIN32

std::optional<std::string> cp932ToUtf8(std::string_view bytes) {
    return convert(kCodePage932, CP_UTF8, bytes);
}

std::optional<std::string> utf8ToCp932(std::string_view text) {
    return convert(CP_UTF8, kCodePage932, text);
}

std::string cp932ToUtf8Lenient(std::string_view bytes) {
    if (auto whole = cp932ToUtf8(bytes)) return *whole;
    // Decode character by character: a lead byte and its trail byte, or one byte.
    std::string out;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (isLeadByte(c) && i + 1 < bytes.size()) {
            if (auto pair = cp932ToUtf8(bytes.substr(i, 2))) {
                out += *pair;
                i += 2;
                continue;
            }
        }
        if (auto single = cp932ToUtf8(bytes.substr(i, 1)); single && !isLeadByte(c))
            out += *single;
        else
            out += kUndecodableMark;
        ++i;
    }
    return out;
}

#else

std::optional<std::string> cp932ToUtf8(std::string_view bytes) {
    return convert("UTF-8", "CP932", bytes, false);
}

std::optional<std::string> utf8ToCp932(std::string_view text) {
    return convert("CP932", "UTF-8", text, false);
}

std::string cp932ToUtf8Lenient(std::string_view bytes) {
    auto text = convert("UTF-8", "CP932", bytes, true);
    return text ? *text : std::string();
}

#endif

} // namespace kesto
