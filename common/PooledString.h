#ifndef KW_COMMON_POOLEDSTRING_H
#define KW_COMMON_POOLEDSTRING_H

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

// An interned text: equal texts share one pooled copy, so names compare and hash as pointers.
// Pooled texts are never freed or moved. The pool has no lock: intern from one thread at a time.
class PooledString {
public:
    PooledString(const char* text);
    PooledString(const std::string& text);

    const char* c_str() const { return ptr; }
    bool empty() const { return *ptr == '\0'; }

    bool operator==(const PooledString& other) const { return ptr == other.ptr; }
    bool operator!=(const PooledString& other) const { return ptr != other.ptr; }

private:
    const char* ptr;
};

inline std::ostream& operator<<(std::ostream& out, const PooledString& text)
{
    return out << text.c_str();
}

// Hashing a pooled name hashes its pointer.
inline std::size_t hash_value(const PooledString& text)
{
    return std::hash<const char*>()(text.c_str());
}

namespace std {
template <>
struct hash<PooledString> {
    size_t operator()(const PooledString& text) const { return hash_value(text); }
};
}  // namespace std

#endif
