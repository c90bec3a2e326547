#include "shared/md5.h"

#include <algorithm>
#include <cstring>

namespace {

// T[i] = floor(2^32 * |sin(i + 1)|), the additive constants of the 64 steps.
constexpr md5_word_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr md5_word_t kInitial[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

md5_word_t rotateLeft(md5_word_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The auxiliary functions F, G, H, I of the four rounds.
md5_word_t roundFunction(int round, md5_word_t x, md5_word_t y, md5_word_t z) {
    switch (round) {
        case 0: return (x & y) | (~x & z);
        case 1: return (x & z) | (y & ~z);
        case 2: return x ^ y ^ z;
        default: return y ^ (x | ~z);
    }
}

// Which word of the block step i of a round takes.
int wordIndex(int round, int i) {
    switch (round) {
        case 0: return i;
        case 1: return (5 * i + 1) % 16;
        case 2: return (3 * i + 5) % 16;
        default: return (7 * i) % 16;
    }
}

md5_word_t littleEndianWord(const md5_byte_t* p) {
    return static_cast<md5_word_t>(p[0]) | static_cast<md5_word_t>(p[1]) << 8 | static_cast<md5_word_t>(p[2]) << 16 |
           static_cast<md5_word_t>(p[3]) << 24;
}

void processBlock(md5_word_t abcd[4], const md5_byte_t block[64]) {
    md5_word_t x[16];
    for (std::size_t i = 0; i < 16; ++i) x[i] = littleEndianWord(block + 4 * i);

    md5_word_t a = abcd[0], b = abcd[1], c = abcd[2], d = abcd[3];
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 16; ++i) {
            const int step = 16 * round + i;
            const md5_word_t sum = a + roundFunction(round, b, c, d) + x[wordIndex(round, i)] + kSine[step];
            // [abcd k s i]: a = b + ((a + f(b,c,d) + X[k] + T[i]) <<< s), then the
            // registers turn one place.
            const md5_word_t next = b + rotateLeft(sum, kShift[round][i % 4]);
            a = d;
            d = c;
            c = b;
            b = next;
        }
    }
    abcd[0] += a;
    abcd[1] += b;
    abcd[2] += c;
    abcd[3] += d;
}

std::size_t bytesWaiting(const md5_state_t* state) { return static_cast<std::size_t>((state->bitCount >> 3) & 63); }

}  // namespace

void md5_init(md5_state_t* state) {
    state->bitCount = 0;
    std::memcpy(state->abcd, kInitial, sizeof kInitial);
}

void md5_append(md5_state_t* state, const md5_byte_t* bytes, std::int32_t count) {
    if (count <= 0) return;
    std::size_t remaining = static_cast<std::size_t>(count);
    std::size_t filled = bytesWaiting(state);
    state->bitCount += static_cast<std::uint64_t>(remaining) << 3;

    while (remaining > 0) {
        const std::size_t take = remaining < 64 - filled ? remaining : 64 - filled;
        std::memcpy(state->block + filled, bytes, take);
        bytes += take;
        remaining -= take;
        filled += take;
        if (filled == 64) {
            processBlock(state->abcd, state->block);
            filled = 0;
        }
    }
}

void md5_finish(md5_state_t* state, md5_byte_t digest[16]) {
    // The length is taken before padding changes the count.
    md5_byte_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<md5_byte_t>(state->bitCount >> (8 * i));

    // One 0x80 byte, then zeros up to 56 bytes modulo 64.
    static const md5_byte_t kPadding[64] = {0x80};
    const std::size_t filled = bytesWaiting(state);
    const std::size_t padding = filled < 56 ? 56 - filled : 120 - filled;
    md5_append(state, kPadding, static_cast<std::int32_t>(padding));
    md5_append(state, length, 8);

    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<md5_byte_t>(state->abcd[i] >> (8 * j));
}

std::string md5HexDigest(std::string_view bytes) {
    md5_state_t state;
    md5_init(&state);
    // Longer input than the routine's count takes is hashed in pieces.
    std::size_t offset = 0;
    do {
        const std::size_t piece = std::min<std::size_t>(bytes.size() - offset, INT32_MAX);
        md5_append(&state, reinterpret_cast<const md5_byte_t*>(bytes.data() + offset),
                   static_cast<std::int32_t>(piece));
        offset += piece;
    } while (offset < bytes.size());
    md5_byte_t digest[16];
    md5_finish(&state, digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (md5_byte_t byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0F];
    }
    return hex;
}
