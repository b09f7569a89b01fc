#ifndef KW_COMMON_SLOTPOOL_H
#define KW_COMMON_SLOTPOOL_H

#include <cstddef>
#include <cstring>
#include <new>

// Slots of one size handed out from blocks of 16,384 that are never freed; a slot is never reused.
// For the many small objects a package database lists, where one allocation each would cost too much.
// No lock: use from one thread at a time.
template <std::size_t SLOT_SIZE>
class SlotPool {
public:
    // A slot set to zero.
    void* take()
    {
        if (left == 0) {
            next = static_cast<unsigned char*>(::operator new(SLOTS_PER_BLOCK* SLOT_SIZE));
            memset(next, 0, SLOTS_PER_BLOCK * SLOT_SIZE);
            left = SLOTS_PER_BLOCK;
        }
        void* slot = next;
        next += SLOT_SIZE;
        --left;
        return slot;
    }

private:
    static const std::size_t SLOTS_PER_BLOCK = 16384;

    unsigned char* next = nullptr;
    std::size_t left = 0;
};

#endif
