// The wallpaper's own containers: a heap text holder and a growable owning list.
#pragma once

#include <cassert>
#include <cstdint>
#include <limits>
#include <new>
#include <string>

namespace duskpane {

// The program's 8-bit text type: UTF-8 in a std::string.
using AnsiString = std::string;

// One heap copy of a text: exactly length + 1 bytes holding the characters
// and a NUL, or no copy at all for the empty text. The copy is read back as
// a C string, so a text ends at its first NUL (paths never contain one).
class nsString {
public:
    explicit nsString(const AnsiString& text);
    ~nsString();

    nsString(const nsString&) = delete;
    nsString& operator=(const nsString&) = delete;

    // The held text; empty when there is no copy.
    AnsiString ToString() const;
    // The heap copy itself, null for the empty text.
    const char* Data() const { return text_; }

private:
    char* text_ = nullptr;
};

// How a list that owns its items releases one of them. Deleting an nsString
// releases its text copy and then the holder; an ffblk or an AnsiString is
// simply deleted. A specialisation may report a failure by throwing; the
// list ignores it and goes on.
template <class T>
struct nsListItemRelease {
    static void Release(T* item) { delete item; }
};

// A growable list of item pointers in insertion order. The slot array grows
// by GrowBy() slots at a time, is zero-filled, and is kept by Clear() for
// reuse. When OwnsItems() is true (the default), Clear() and destruction
// release the items. The list is a plain value: it is never copied.
//
// The fields GrowBy, Count, Capacity, Items and OwnsItems are private members
// read through accessors of the same names (a member and a method cannot
// share the name Count in C++).
template <class T>
class nsList {
public:
    static constexpr int32_t kDefaultGrowBy = 1024;

    nsList() = default;
    ~nsList() {
        Clear();
        delete[] items_;
    }

    nsList(const nsList&) = delete;
    nsList& operator=(const nsList&) = delete;

    // Appends an item and returns its index; the list then owns it. A null
    // item returns -1 and changes nothing. When the slot array cannot grow,
    // std::bad_alloc propagates, the list is unchanged and the caller keeps
    // the item.
    int32_t Add(T* item) {
        if (item == nullptr) {
            return -1;
        }
        if (count_ + 1 > capacity_) {
            Grow();
        }
        items_[count_] = item;
        ++count_;
        return count_ - 1;
    }

    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }
    int32_t GrowBy() const { return growBy_; }
    bool OwnsItems() const { return ownsItems_; }
    // The slot array (Capacity() slots, null past Count()); null while empty.
    T* const* Items() const { return items_; }

    // A growth step of 0 stands for the default step at the next growth.
    void SetGrowBy(int32_t growBy) {
        assert(growBy >= 0 && "nsList: the growth step cannot be negative");
        growBy_ = growBy;
    }
    void SetOwnsItems(bool ownsItems) { ownsItems_ = ownsItems; }

    // The item at the index, or null when the index is outside 0 .. Count() - 1.
    T* Get(int32_t index) const {
        if (index < 0 || index >= count_) {
            return nullptr;
        }
        return items_[index];
    }

    // Empties the list, releasing the items when it owns them. A failure to
    // release one item is ignored and clearing goes on. The slot array and
    // its capacity are kept.
    void Clear() noexcept {
        for (int32_t i = 0; i < count_; ++i) {
            T* item = items_[i];
            items_[i] = nullptr;
            if (ownsItems_ && item != nullptr) {
                try {
                    nsListItemRelease<T>::Release(item);
                } catch (...) {
                    // Releasing is best effort: the remaining slots are still cleared.
                }
            }
        }
        count_ = 0;
    }

private:
    // Allocates the larger array before touching anything, so a failure
    // leaves the list exactly as it was.
    void Grow() {
        if (growBy_ == 0) {
            growBy_ = kDefaultGrowBy;
        }
        const int64_t newCapacity = int64_t(capacity_) + int64_t(growBy_);
        if (newCapacity > std::numeric_limits<int32_t>::max()) {
            throw std::bad_alloc();
        }
        T** slots = new T*[size_t(newCapacity)]();
        for (int32_t i = 0; i < capacity_; ++i) {
            slots[i] = items_[i];
        }
        delete[] items_;
        items_ = slots;
        capacity_ = int32_t(newCapacity);
    }

    int32_t growBy_ = kDefaultGrowBy;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
    T** items_ = nullptr;
    bool ownsItems_ = true;
};

}  // namespace duskpane
