#include "common/md5.h"

#include <cstdlib>
#include <cstring>

namespace {

// The four round functions of RFC 1321, section 3.4, in equivalent forms that need fewer operations or
// wait less on the previous step.
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z)
{
    return z ^ (x & (y ^ z));
}

// The two terms have no bit in common, so their sum is their union; the term without x does not wait
// for the previous step.
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z)
{
    return (y & ~z) + (x & z);
}

inline uint32_t H(uint32_t x, uint32_t y, uint32_t z)
{
    return x ^ y ^ z;
}

inline uint32_t I(uint32_t x, uint32_t y, uint32_t z)
{
    return y ^ (x | ~z);
}

// One step with its shift as a constant: the 64 steps are written out below, so no step branches on
// its round or reads a table.
template <unsigned shift>
inline void step(uint32_t& a, uint32_t b, uint32_t f, uint32_t word, uint32_t sine)
{
    // The round function depends on the previous step: it is added last.
    const uint32_t sum = a + word + sine + f;
    a = b + ((sum << shift) | (sum >> (32 - shift)));
}

// The i-th little-endian word of a block, which may lie at any address. On a little-endian host this is
// one plain load that the steps take straight from the block: the compiler turns words assembled byte by
// byte into a long vector shuffle ahead of the first step.
inline uint32_t word(const unsigned char* block, int i)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t value;
    std::memcpy(&value, block + 4 * i, sizeof(value));
    return value;
#else
    const unsigned char* p = block + 4 * i;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
#endif
}

void transform(uint32_t state[4], const unsigned char block[64])
{
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    step<7>(a, b, F(b, c, d), word(block, 0), 0xd76aa478);
    step<12>(d, a, F(a, b, c), word(block, 1), 0xe8c7b756);
    step<17>(c, d, F(d, a, b), word(block, 2), 0x242070db);
    step<22>(b, c, F(c, d, a), word(block, 3), 0xc1bdceee);
    step<7>(a, b, F(b, c, d), word(block, 4), 0xf57c0faf);
    step<12>(d, a, F(a, b, c), word(block, 5), 0x4787c62a);
    step<17>(c, d, F(d, a, b), word(block, 6), 0xa8304613);
    step<22>(b, c, F(c, d, a), word(block, 7), 0xfd469501);
    step<7>(a, b, F(b, c, d), word(block, 8), 0x698098d8);
    step<12>(d, a, F(a, b, c), word(block, 9), 0x8b44f7af);
    step<17>(c, d, F(d, a, b), word(block, 10), 0xffff5bb1);
    step<22>(b, c, F(c, d, a), word(block, 11), 0x895cd7be);
    step<7>(a, b, F(b, c, d), word(block, 12), 0x6b901122);
    step<12>(d, a, F(a, b, c), word(block, 13), 0xfd987193);
    step<17>(c, d, F(d, a, b), word(block, 14), 0xa679438e);
    step<22>(b, c, F(c, d, a), word(block, 15), 0x49b40821);

    step<5>(a, b, G(b, c, d), word(block, 1), 0xf61e2562);
    step<9>(d, a, G(a, b, c), word(block, 6), 0xc040b340);
    step<14>(c, d, G(d, a, b), word(block, 11), 0x265e5a51);
    step<20>(b, c, G(c, d, a), word(block, 0), 0xe9b6c7aa);
    step<5>(a, b, G(b, c, d), word(block, 5), 0xd62f105d);
    step<9>(d, a, G(a, b, c), word(block, 10), 0x02441453);
    step<14>(c, d, G(d, a, b), word(block, 15), 0xd8a1e681);
    step<20>(b, c, G(c, d, a), word(block, 4), 0xe7d3fbc8);
    step<5>(a, b, G(b, c, d), word(block, 9), 0x21e1cde6);
    step<9>(d, a, G(a, b, c), word(block, 14), 0xc33707d6);
    step<14>(c, d, G(d, a, b), word(block, 3), 0xf4d50d87);
    step<20>(b, c, G(c, d, a), word(block, 8), 0x455a14ed);
    step<5>(a, b, G(b, c, d), word(block, 13), 0xa9e3e905);
    step<9>(d, a, G(a, b, c), word(block, 2), 0xfcefa3f8);
    step<14>(c, d, G(d, a, b), word(block, 7), 0x676f02d9);
    step<20>(b, c, G(c, d, a), word(block, 12), 0x8d2a4c8a);

    step<4>(a, b, H(b, c, d), word(block, 5), 0xfffa3942);
    step<11>(d, a, H(a, b, c), word(block, 8), 0x8771f681);
    step<16>(c, d, H(d, a, b), word(block, 11), 0x6d9d6122);
    step<23>(b, c, H(c, d, a), word(block, 14), 0xfde5380c);
    step<4>(a, b, H(b, c, d), word(block, 1), 0xa4beea44);
    step<11>(d, a, H(a, b, c), word(block, 4), 0x4bdecfa9);
    step<16>(c, d, H(d, a, b), word(block, 7), 0xf6bb4b60);
    step<23>(b, c, H(c, d, a), word(block, 10), 0xbebfbc70);
    step<4>(a, b, H(b, c, d), word(block, 13), 0x289b7ec6);
    step<11>(d, a, H(a, b, c), word(block, 0), 0xeaa127fa);
    step<16>(c, d, H(d, a, b), word(block, 3), 0xd4ef3085);
    step<23>(b, c, H(c, d, a), word(block, 6), 0x04881d05);
    step<4>(a, b, H(b, c, d), word(block, 9), 0xd9d4d039);
    step<11>(d, a, H(a, b, c), word(block, 12), 0xe6db99e5);
    step<16>(c, d, H(d, a, b), word(block, 15), 0x1fa27cf8);
    step<23>(b, c, H(c, d, a), word(block, 2), 0xc4ac5665);

    step<6>(a, b, I(b, c, d), word(block, 0), 0xf4292244);
    step<10>(d, a, I(a, b, c), word(block, 7), 0x432aff97);
    step<15>(c, d, I(d, a, b), word(block, 14), 0xab9423a7);
    step<21>(b, c, I(c, d, a), word(block, 5), 0xfc93a039);
    step<6>(a, b, I(b, c, d), word(block, 12), 0x655b59c3);
    step<10>(d, a, I(a, b, c), word(block, 3), 0x8f0ccc92);
    step<15>(c, d, I(d, a, b), word(block, 10), 0xffeff47d);
    step<21>(b, c, I(c, d, a), word(block, 1), 0x85845dd1);
    step<6>(a, b, I(b, c, d), word(block, 8), 0x6fa87e4f);
    step<10>(d, a, I(a, b, c), word(block, 15), 0xfe2ce6e0);
    step<15>(c, d, I(d, a, b), word(block, 6), 0xa3014314);
    step<21>(b, c, I(c, d, a), word(block, 13), 0x4e0811a1);
    step<6>(a, b, I(b, c, d), word(block, 4), 0xf7537e82);
    step<10>(d, a, I(a, b, c), word(block, 11), 0xbd3af235);
    step<15>(c, d, I(d, a, b), word(block, 2), 0x2ad7d2bb);
    step<21>(b, c, I(c, d, a), word(block, 9), 0xeb86d391);

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
