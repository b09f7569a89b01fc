#ifndef KW_COMMON_CHECKED_POINTER_H
#define KW_COMMON_CHECKED_POINTER_H

#include "common/error.h"

// Raised instead of dereferencing null: names this header and the line of the operator used.
#define KW_NULL_POINTER_ERROR() \
    (error(E_INTERNAL, REP_NONE, SYS_UNSET, SUPP_NEED) << "Try of use NULL pointer: " << __FILE__ << ":" << __LINE__)

// The access both pointers share: use of null raises the error above.
template <typename T>
class checked_access {
public:
    T* operator->() const
    {
        if (!ptr)
            throw KW_NULL_POINTER_ERROR();
        return ptr;
    }
    T& operator*() const
    {
        if (!ptr)
            throw KW_NULL_POINTER_ERROR();
        return *ptr;
    }
    T* get() const { return ptr; }
    explicit operator bool() const { return ptr != nullptr; }

protected:
    explicit checked_access(T* p) : ptr(p) {}

    T* ptr;
};

// A non-owning pointer that throws on the use of null.
template <typename T>
class checked_pointer : public checked_access<T> {
public:
    checked_pointer(T* p = nullptr) : checked_access<T>(p) {}

    checked_pointer& operator=(T* p)
    {
        this->ptr = p;
        return *this;
    }
};

// The owning holder of at most one object, deleted with the holder. Not copyable: it is passed by
// reference.
template <typename T>
class checked_autoclean_pointer : public checked_access<T> {
public:
    explicit checked_autoclean_pointer(T* p = nullptr) : checked_access<T>(p) {}
    ~checked_autoclean_pointer() { delete this->ptr; }
    checked_autoclean_pointer(const checked_autoclean_pointer&) = delete;
    checked_autoclean_pointer& operator=(const checked_autoclean_pointer&) = delete;

    // Replaces the held object, deleting the old one.
    void reset(T* p = nullptr)
    {
        if (p != this->ptr) {
            delete this->ptr;
            this->ptr = p;
        }
    }
    // Gives up ownership without deleting.
    T* release()
    {
        T* p = this->ptr;
        this->ptr = nullptr;
        return p;
    }
};

#endif
