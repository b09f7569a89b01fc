#ifndef KW_COMMON_MD5REP_H
#define KW_COMMON_MD5REP_H

#include <cstddef>
#include <string>

#include "common/DependencyFile.h"

struct DependencyFile::md5rep_t {
    unsigned char bytes[16];

    // Slots come from blocks that are never freed; a slot given back is not reused.
    static void* operator new(std::size_t size);
    static void operator delete(void* slot);
};

// 32 lower-case hexadecimal digits, high nibble first.
std::string md5_to_hex(const DependencyFile::md5rep_t& digest);
// An empty text gives the all-zero digest; a text of 32 or 64 digits gives its first 16 bytes.
void md5_from_hex(const std::string& text, DependencyFile::md5rep_t& digest);

#endif
