#pragma once
// Stack room for elements that the code fills before it reads them. A plain array of element
// would be cleared on every call, since element's members have default initialisers: for the
// base case's arrays of a few hundred bytes that clearing (a string store) costs more than the
// loop that fills them.

#include <cstddef>

#include "items/element.hpp"

template <std::size_t N, std::size_t Alignment = alignof(element)>
class element_room {
public:
    element* data() { return reinterpret_cast<element*>(bytes_); }

private:
    alignas(Alignment) unsigned char bytes_[N * sizeof(element)];
};
