#ifndef KW_COMMON_CHECKED_POINTER_H
#define KW_COMMON_CHECKED_POINTER_H

#include "common/error.h"

// Raised instead of dereferencing null: names this header and the line of the operator used.
#define KW_NULL_POINTER_ERROR() (error(3, 1, 0, 3) << "Try of use NULL pointer: " << __FILE__ << ":" << __LINE__)

// A non-owning pointer that throws on the use of null.
template <typename T>
class checked_pointer {
public:
    checked_pointer(T* p = nullptr) : ptr(p) {}

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
    checked_pointer& operator=(T* p)
    {
        ptr = p;
        return *this;
    }

private:
    T* ptr;
};

// The owning holder of at most one object, deleted with the holder. Not copyable: it is passed by
// reference.
template <typename T>
class checked_autoclean_pointer {
public:
    explicit checked_autoclean_pointer(T* p = nullptr) : ptr(p) {}
    ~checked_autoclean_pointer() { delete ptr; }
    checked_autoclean_pointer(const checked_autoclean_pointer&) = delete;
    checked_autoclean_pointer& operator=(const checked_autoclean_pointer&) = delete;

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

    // Replaces the held object, deleting the old one.
    void reset(T* p = nullptr)
    {
        if (p != ptr) {
            delete ptr;
            ptr = p;
        }
    }
    // Gives up ownership without deleting.
    T* release()
    {
        T* p = ptr;
        ptr = nullptr;
        return p;
    }

private:
    T* ptr;
};

#endif
