#ifndef KW_COMMON_MD5_H
#define KW_COMMON_MD5_H

#include <cstddef>
#include <cstdint>

// The MD5 message digest of RFC 1321.
struct md5_context {
    uint32_t state[4];
    uint32_t count[2];  // the number of bits hashed, low word first
    unsigned char buffer[64];
};

void md5_init(md5_context& context);
void md5_update(md5_context& context, const void* data, size_t length);
void md5_final(md5_context& context, unsigned char digest[16]);

// Finishes the context and writes its digest as 32 lower-case hexadecimal digits and a terminating
// zero into buffer (33 bytes). A null buffer is replaced by a new one from malloc that belongs to
// the caller; null when that allocation fails.
char* md5_hex_digest(md5_context& context, char* buffer);

#endif
