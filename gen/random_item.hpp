#pragma once
// A fresh random item from the drand48 family: every distribution draws its items here.

#include <cstdlib>

#include "items/factory.hpp"

namespace gen {

// An item from one drand48 draw through the factory.
template <typename T>
T random_item()
{
    return factory<T>::from_scalar(drand48());
}

// An int is one mrand48 draw narrowed to 32 bits, so every int value can come up.
template <>
inline int random_item<int>()
{
    return static_cast<int>(mrand48());
}

}  // namespace gen
