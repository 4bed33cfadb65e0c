#include "measure/counter_library.hpp"

#include <utility>

namespace {

counter_library const* active = nullptr;

std::string& missing_reason()
{
    static std::string reason = "the counter library is not initialised";
    return reason;
}

}  // namespace

counter_library const* active_counter_library() { return active; }

counter_library const* use_counter_library(counter_library const* lib)
{
    counter_library const* const before = active;
    active = lib;
    return before;
}

std::string const& missing_counter_library_reason() { return missing_reason(); }

void set_missing_counter_library_reason(std::string reason) { missing_reason() = std::move(reason); }
