#include "common/PooledString.h"

#include <cstring>

#include <boost/container_hash/hash.hpp>
#include <boost/unordered_set.hpp>

namespace {

struct TextHash {
    std::size_t operator()(const char* text) const { return boost::hash_range(text, text + strlen(text)); }
};

struct TextEqual {
    bool operator()(const char* a, const char* b) const { return strcmp(a, b) == 0; }
};

// The process-wide pool: a set of the pooled texts and the arena that holds them.
class Pool {
public:
    const char* intern(const char* text)
    {
        auto found = texts.find(text);
        if (found != texts.end())
            return *found;
        const char* copy = store(text, strlen(text) + 1);
        texts.insert(copy);
        return copy;
    }

private:
    static const std::size_t BLOCK_SIZE = 65536;

    const char* store(const char* text, std::size_t size)
    {
        if (size > BLOCK_SIZE) {
            // Too long for any block: it gets storage of its own.
            char* own = new char[size];
            memcpy(own, text, size);
            return own;
        }
        if (left < size) {
            next = new char[BLOCK_SIZE];  // the rest of the old block is abandoned
            left = BLOCK_SIZE;
        }
        char* copy = next;
        memcpy(copy, text, size);
        std::size_t taken = (size + 3) & ~std::size_t(3);
        if (taken > left)
            taken = left;
        next += taken;
        left -= taken;
        return copy;
    }

    boost::unordered_set<const char*, TextHash, TextEqual> texts;
    char* next = nullptr;
    std::size_t left = 0;
};

Pool& pool()
{
    static Pool* instance = new Pool;  // never destroyed: pooled pointers live to the end
    return *instance;
}

}  // namespace

PooledString::PooledString(const char* text) : ptr(pool().intern(text)) {}

PooledString::PooledString(const std::string& text) : ptr(pool().intern(text.c_str())) {}
