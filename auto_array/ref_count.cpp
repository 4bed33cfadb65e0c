#include "auto_array/ref_count.hpp"

namespace auto_array::detail {

long* new_reference_count() { return new long(1); }

void add_reference(long* refs) { ++*refs; }

bool drop_reference(long* refs)
{
    if (--*refs != 0) {
        return false;
    }
    delete refs;
    return true;
}

}  // namespace auto_array::detail
