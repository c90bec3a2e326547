#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The MD5 message digest of RFC 1321.

using md5_byte_t = std::uint8_t;
using md5_word_t = std::uint32_t;

struct md5_state_t {
    std::uint64_t bitCount;  // message length so far, in bits
    md5_word_t abcd[4];      // the four state words A, B, C, D
    md5_byte_t block[64];    // bytes waiting for a whole block
};

// Sets the bit count to zero and the state words to their initial values.
void md5_init(md5_state_t* state);
// Feeds `count` bytes; a count of zero or less adds nothing.
void md5_append(md5_state_t* state, const md5_byte_t* bytes, std::int32_t count);
// Pads, appends the bit count and writes the 16 digest bytes.
void md5_finish(md5_state_t* state, md5_byte_t digest[16]);

// The digest of `bytes` as 32 lower-case hexadecimal digits.
std::string md5HexDigest(std::string_view bytes);
