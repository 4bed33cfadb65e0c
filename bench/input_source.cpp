#include "bench/input_source.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "auto_array/map_flags.hpp"
#include "gen/input_patterns.hpp"

input_source input_source::pattern(std::string const& name)
{
    input_source source;
    source.name_ = name;
    return source;
}

input_source input_source::file(std::string const& path)
{
    input_source source;
    source.name_ = path;
    // Count 0 maps every whole item of the file.
    source.items_ = std::make_shared<auto_array::map_array<element> const>(path.c_str(), auto_array::flag::readable, 0, 0);
    return source;
}

std::uint64_t input_source::available() const
{
    return is_file() ? items_->Count() : std::numeric_limits<std::uint64_t>::max();
}

void input_source::fill(element* first, element* last, std::uint64_t seed) const
{
    if (is_file()) {
        std::copy(items_->Data(), items_->Data() + (last - first), first);
    } else {
        // srand48 takes the low 32 bits of its argument.
        srand48(static_cast<long>(seed));
        gen::fill_input(name_, first, last);
    }
    std::uintptr_t index = 0;
    for (element* e = first; e != last; ++e) e->payload = reinterpret_cast<void*>(index++);
}
