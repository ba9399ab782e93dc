// The host's table container. Element access checks its index and throws
// MaxSDK::Util::TabOutOfRangeException for one outside the table.
#pragma once

#include "Util/MaxExceptions.h"
#include "maxheap.h"
#include "utilexp.h"

#include <vector>

// Frees a block from the host's heap and clears the pointer.
UtilExport void zfree(void** block);

template <class T> class Tab : public MaxHeapOperators {
public:
    int Count() const { return static_cast<int>(items.size()); }
    void ZeroCount() { items.clear(); }
    void SetCount(int count) { items.resize(count < 0 ? 0 : static_cast<std::size_t>(count)); }
    // Appends count elements; returns the index of the first.
    int Append(int count, T* elements, int /*allocExtra*/ = 0) {
        const int at = Count();
        items.insert(items.end(), elements, elements + count);
        return at;
    }
    // Removes count elements from start; returns the new count.
    int Delete(int start, int count) {
        items.erase(items.begin() + start, items.begin() + start + count);
        return Count();
    }
    T& operator[](const int i) const {
        if (i < 0 || i >= Count()) {
            throw MaxSDK::Util::TabOutOfRangeException(
                _M("Invalid index passed into a Max SDK Tab::operator[]"));
        }
        return const_cast<T&>(items[static_cast<std::size_t>(i)]);
    }

private:
    std::vector<T> items;
};
