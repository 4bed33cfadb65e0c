#include "measure/counter_library.hpp"

namespace {

counter_library const* active = nullptr;

}  // namespace

counter_library const* active_counter_library() { return active; }

counter_library const* use_counter_library(counter_library const* lib)
{
    counter_library const* const before = active;
    active = lib;
    return before;
}
