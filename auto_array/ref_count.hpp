#pragma once
// The shared reference count of the arrays: a plain counter on the heap, so copies must stay in
// one thread. Kept out of line: inlined into a chain of destructors, GCC cannot tell that only
// the last owner frees the count and warns of a use after free.

namespace auto_array::detail {

// A new count of one owner.
long* new_reference_count();

void add_reference(long* refs);

// Drops one owner; when it was the last, frees the count and returns true.
bool drop_reference(long* refs);

}  // namespace auto_array::detail
