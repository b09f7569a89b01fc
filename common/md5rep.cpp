#include "common/md5rep.h"

#include <cstring>
#include <iostream>

#include "common/SlotPool.h"
#include "common/error.h"
#include "common/textutils.h"

void* DependencyFile::md5rep_t::operator new(std::size_t size)
{
    static SlotPool<sizeof(md5rep_t)>* pool = new SlotPool<sizeof(md5rep_t)>;
    if (size != sizeof(md5rep_t))
        throw KW_INTERNAL_ERROR();
    return pool->take();
}

// Slots are never reused. Deliberately silent: standard output carries the program's status
// records and XML answers.
void DependencyFile::md5rep_t::operator delete(void*) {}

std::string md5_to_hex(const DependencyFile::md5rep_t& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = digits[digest.bytes[i] >> 4];
        text[2 * i + 1] = digits[digest.bytes[i] & 0x0f];
    }
    return text;
}

void md5_from_hex(const std::string& text, DependencyFile::md5rep_t& digest)
{
    if (text.empty()) {
        memset(digest.bytes, 0, sizeof(digest.bytes));
        return;
    }
    if (text.size() != 32 && text.size() != 64) {
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)
            << "MD5 string size is not 32- " << text.size() << " " << text;
    }
    unsigned char bytes[16];
    for (int i = 0; i < 32; ++i) {
        int value = hex_digit_value(text[i]);
        if (value < 0) {
            unsigned code = static_cast<unsigned char>(text[i]);
            std::clog << std::hex << code << std::dec << std::endl;
            throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED)
                << "MD5 string contains non-hex symbol: " << text[i] << " (" << code << ")";
        }
        if (i % 2 == 0)
            bytes[i / 2] = static_cast<unsigned char>(value << 4);
        else
            bytes[i / 2] |= static_cast<unsigned char>(value);
    }
    memcpy(digest.bytes, bytes, sizeof(bytes));
}
