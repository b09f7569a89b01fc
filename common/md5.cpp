#include "common/md5.h"

#include <cstdlib>
#include <cstring>

namespace {

// The per-step shift amounts and the sine-derived constants of RFC 1321, section 3.4.
const unsigned shifts[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9, 14, 20, 5, 9, 14, 20, 5, 9, 14, 20, 5, 9, 14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

const uint32_t sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

uint32_t rotate_left(uint32_t x, unsigned n)
{
    return (x << n) | (x >> (32 - n));
}

void transform(uint32_t state[4], const unsigned char block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 | uint32_t(block[4 * i + 2]) << 16 |
               uint32_t(block[4 * i + 3]) << 24;

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int k;
        if (i < 16) {
            f = (b & c) | (~b & d);
            k = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            k = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            k = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            k = (7 * i) % 16;
        }
        const uint32_t next = b + rotate_left(a + f + sines[i] + x[k], shifts[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void encode_le(unsigned char* out, const uint32_t* in, size_t words)
{
    for (size_t i = 0; i < words; ++i)
        for (int byte = 0; byte < 4; ++byte)
            out[4 * i + byte] = static_cast<unsigned char>(in[i] >> (8 * byte));
}

}  // namespace

void md5_init(md5_context& context)
{
    context.count[0] = context.count[1] = 0;
    context.state[0] = 0x67452301;
    context.state[1] = 0xefcdab89;
    context.state[2] = 0x98badcfe;
    context.state[3] = 0x10325476;
}

void md5_update(md5_context& context, const void* data, size_t length)
{
    const unsigned char* input = static_cast<const unsigned char*>(data);
    size_t index = (context.count[0] >> 3) & 0x3F;

    const uint64_t bits = (uint64_t(context.count[1]) << 32 | context.count[0]) + uint64_t(length) * 8;
    context.count[0] = static_cast<uint32_t>(bits);
    context.count[1] = static_cast<uint32_t>(bits >> 32);

    const size_t room = 64 - index;
    size_t i = 0;
    if (length >= room) {
        std::memcpy(context.buffer + index, input, room);
        transform(context.state, context.buffer);
        for (i = room; i + 63 < length; i += 64)
            transform(context.state, input + i);
        index = 0;
    }
    std::memcpy(context.buffer + index, input + i, length - i);
}

void md5_final(md5_context& context, unsigned char digest[16])
{
    unsigned char length_field[8];
    encode_le(length_field, context.count, 2);

    // Pad with 0x80 and zeros to 56 bytes mod 64, then append the length in bits.
    static const unsigned char padding[64] = {0x80};
    const size_t index = (context.count[0] >> 3) & 0x3F;
    md5_update(context, padding, index < 56 ? 56 - index : 120 - index);
    md5_update(context, length_field, 8);

    encode_le(digest, context.state, 4);
    std::memset(&context, 0, sizeof(context));
}

char* md5_hex_digest(md5_context& context, char* buffer)
{
    unsigned char digest[16];
    md5_final(context, digest);
    if (!buffer) {
        buffer = static_cast<char*>(std::malloc(33));
        if (!buffer)
            return nullptr;
    }
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        buffer[2 * i] = hex[digest[i] >> 4];
        buffer[2 * i + 1] = hex[digest[i] & 0x0F];
    }
    buffer[32] = '\0';
    return buffer;
}
