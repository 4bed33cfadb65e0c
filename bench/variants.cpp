#include "bench/variants.hpp"

#include "funnel/element_trees.hpp"
#include "sort/sort_entry.hpp"

namespace {

template <class Tree, driver Driver>
void sort_with(element* first, element* last, checked_output into)
{
    sort_entry<Tree>(Driver, first, last, into);
}

}  // namespace

std::array<variant, variant_count> const& all_variants()
{
    static std::array<variant, variant_count> const variants = {{
        {"cached-stack", "Cached", "stack", sort_with<funnel::stack_element_tree, driver::cached>},
        {"cached-heap", "Cached", "heap", sort_with<funnel::heap_element_tree, driver::cached>},
        {"uncached-stack", "Not cached", "stack", sort_with<funnel::stack_element_tree, driver::uncached>},
        {"uncached-heap", "Not cached", "heap", sort_with<funnel::heap_element_tree, driver::uncached>},
    }};
    return variants;
}

variant const* find_variant(std::string const& name)
{
    for (variant const& v : all_variants()) {
        if (name == v.name) return &v;
    }
    return nullptr;
}
