#pragma once
// The array library: heap arrays shared by reference count (FArray, dynarray, HeapMemMan) and
// arrays backed by a mapped file (map_array with its flags).

#include "auto_array/dynarray.hpp"
#include "auto_array/map_array.hpp"
#include "auto_array/map_flags.hpp"
