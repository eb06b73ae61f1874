#include "io/Sha256.h"

#include "io/NativeText.h"
#include "io/SystemError.h"

#include <algorithm>
#include <cerrno>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KESTO_SHA_EXTENSIONS 1
#include <cpuid.h>
#include <immintrin.h>
#endif

#include <cstring>
#include <fstream>
#include <vector>

namespace kesto {
namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::uint32_t rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void blocksPortable(std::uint32_t* state, const std::uint8_t* p, std::size_t blocks) {
    for (; blocks > 0; --blocks, p += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = std::uint32_t(p[4 * i]) << 24 | std::uint32_t(p[4 * i + 1]) << 16 |
                   std::uint32_t(p[4 * i + 2]) << 8 | std::uint32_t(p[4 * i + 3]);
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) +
                                     ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            const std::uint32_t t2 =
                (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef KESTO_SHA_EXTENSIONS
// The processor's own SHA-256 rounds: four rounds per pair of instructions,
// the message schedule by its two helper instructions.  The state is kept
// as ABEF and CDGH, as the instructions want it.
__attribute__((target("sha,sse4.1,ssse3"))) void
blocksShaExtensions(std::uint32_t* state, const std::uint8_t* p, std::size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; blocks > 0; --blocks, p += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i w[4];
        for (int i = 0; i < 4; ++i)
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)),
                                    byteSwap);
        for (int r = 0; r < 16; ++r) {
            __m128i k = _mm_add_epi32(
                w[r & 3], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * r)));
            if (r < 12) {
                // The words four groups on: W[t-16] + s0(W[t-15]) + W[t-7] + s1(W[t-2]).
                __m128i next = _mm_sha256msg1_epu32(w[r & 3], w[(r + 1) & 3]);
                next = _mm_add_epi32(next, _mm_alignr_epi8(w[(r + 3) & 3], w[(r + 2) & 3], 4));
                w[r & 3] = _mm_sha256msg2_epu32(next, w[(r + 3) & 3]);
            }
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);
            k = _mm_shuffle_epi32(k, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, k);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

bool processorHasShaExtensions() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return ssse3 && sse41 && (b & (1u << 29));
}
#endif

using Blocks = void (*)(std::uint32_t*, const std::uint8_t*, std::size_t);

Blocks blocksFor(Sha256::Engine engine) {
#ifdef KESTO_SHA_EXTENSIONS
    static const bool extensions = processorHasShaExtensions();
    if (engine == Sha256::Engine::Best && extensions) return blocksShaExtensions;
#else
    (void)engine;
#endif
    return blocksPortable;
}

} // namespace

Sha256::Sha256(Engine engine)
    : h_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      blocks_(blocksFor(engine)) {}

bool Sha256::processorRoundsUsed() {
    return blocksFor(Engine::Best) != blocksFor(Engine::Portable);
}

void Sha256::add(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    length_ += size;
    if (buffered_ > 0) {
        const std::size_t take = std::min(size, buffer_.size() - buffered_);
        std::memcpy(buffer_.data() + buffered_, p, take);
        buffered_ += take;
        p += take;
        size -= take;
        if (buffered_ < buffer_.size()) return;
        blocks_(h_.data(), buffer_.data(), 1);
        buffered_ = 0;
    }
    blocks_(h_.data(), p, size / 64);
    p += size / 64 * 64;
    size %= 64;
    std::memcpy(buffer_.data(), p, size);
    buffered_ = size;
}

std::string Sha256::hexDigest() {
    const std::uint64_t bits = length_ * 8;
    const std::uint8_t one = 0x80, zero = 0;
    add(&one, 1);
    while (buffered_ != 56)
        add(&zero, 1);
    std::uint8_t tail[8];
    for (int i = 0; i < 8; ++i)
        tail[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    add(tail, 8);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::uint32_t word : h_)
        for (int shift = 28; shift >= 0; shift -= 4)
            out += kHex[(word >> shift) & 0xf];
    return out;
}

std::string sha256Hex(std::string_view bytes) {
    Sha256 sha;
    sha.add(bytes);
    return sha.hexDigest();
}

Status sha256OfFile(const std::filesystem::path& path, std::string& hex, std::uint64_t& size) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return errnoFailure(utf8FromPath(path), errno);
    Sha256 sha;
    std::vector<char> slice(1 << 16);
    size = 0;
    while (in) {
        in.read(slice.data(), static_cast<std::streamsize>(slice.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        sha.add(slice.data(), n);
        size += n;
    }
    if (in.bad()) return errnoFailure(utf8FromPath(path), errno);
    hex = sha.hexDigest();
    return {};
}

} // namespace kesto
