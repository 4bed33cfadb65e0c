#pragma once
// Stack room for N items that the code fills before it reads them. A plain array would be cleared
// on every call when the item type has default member initialisers (element does): for the base
// case's arrays of a few hundred bytes, and the 4 KiB delivery stage, that clearing (a string
// store) costs more than the loop that fills them.

#include <cstddef>

template <class T, std::size_t N, std::size_t Alignment = alignof(T)>
class item_room {
public:
    T* data() { return reinterpret_cast<T*>(bytes_); }

private:
    alignas(Alignment) unsigned char bytes_[N * sizeof(T)];
};
