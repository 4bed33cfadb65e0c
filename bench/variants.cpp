#include "bench/variants.hpp"

#include <algorithm>
#include <cstring>

#include <boost/sort/pdqsort/pdqsort.hpp>
#include <hwy/base.h>
#include <hwy/contrib/sort/vqsort.h>

#include "funnel/element_trees.hpp"
#include "sort/sort_entry.hpp"

namespace {

constexpr std::uint32_t type_bit(item_type type) { return 1u << static_cast<std::uint32_t>(type); }
constexpr std::uint32_t element_only = type_bit(item_type::element);

char const* const type_names[] = {"element", "int", "record"};

template <class Tree, driver Driver, class Output>
void funnel_sort(element* first, element* last, Output into)
{
    sort_entry<Tree>(Driver, first, last, into);
}

void std_sort(element* first, element* last, checked_output into)
{
    std::sort(first, last);
    std::copy(first, last, into);
}

void std_stable_sort(element* first, element* last, checked_output into)
{
    std::stable_sort(first, last);
    std::copy(first, last, into);
}

void pdqsort_branchless(element* first, element* last, checked_output into)
{
    boost::sort::pdqsort_branchless(first, last);
    std::copy(first, last, into);
}

// Highway's vectorised quicksort sorts 16-byte pairs whose key is the second field. Its sort
// turns the elements into such pairs in place, sorts them, and turns them back on the way into
// the output: both passes belong to this variant's sort.
static_assert(sizeof(hwy::K64V64) == sizeof(element), "a pair and an element fill the same bytes");

hwy::K64V64 as_pair(element const& e)
{
    hwy::K64V64 pair;
    pair.key = e.key;
    pair.value = reinterpret_cast<std::uintptr_t>(e.payload);
    return pair;
}

void highway_vqsort(element* first, element* last, checked_output into)
{
    // A sorter holds Highway's buffer; one for the whole process, as Highway advises for repeated sorts.
    static hwy::Sorter const sorter;
    auto const n = static_cast<std::size_t>(last - first);
    // The pairs live in the elements' own bytes; memcpy changes the type the bytes hold.
    for (element* i = first; i != last; ++i) {
        hwy::K64V64 const pair = as_pair(*i);
        std::memcpy(static_cast<void*>(i), &pair, sizeof pair);
    }
    auto* const pairs = reinterpret_cast<hwy::K64V64*>(first);
    sorter(pairs, n, hwy::SortAscending());
    for (std::size_t i = 0; i < n; ++i, ++into) {
        *into = element{pairs[i].key, reinterpret_cast<void*>(static_cast<std::uintptr_t>(pairs[i].value))};
    }
}

template <class Tree, driver Driver>
variant funnel_variant(char const* name, char const* display)
{
    return {name, display, variant_group::funnel, element_only, funnel_sort<Tree, Driver, checked_output>,
            funnel_sort<Tree, Driver, sorted_stream<element>::iterator>};
}

variant peer(char const* name, char const* display, void (*sort)(element*, element*, checked_output))
{
    return {name, display, variant_group::peer, element_only, sort, nullptr};
}

}  // namespace

char const* item_type_name(item_type type) { return type_names[static_cast<std::size_t>(type)]; }

bool find_item_type(std::string const& name, item_type& type)
{
    for (std::size_t i = 0; i < std::size(type_names); ++i) {
        if (name == type_names[i]) {
            type = static_cast<item_type>(i);
            return true;
        }
    }
    return false;
}

std::string item_type_names() { return "element, int or record"; }

std::vector<variant> const& all_variants()
{
    using funnel::heap_element_tree;
    using funnel::stack_element_tree;
    static std::vector<variant> const variants = {
        funnel_variant<stack_element_tree, driver::cached>("cached-stack", "Cached stack"),
        funnel_variant<heap_element_tree, driver::cached>("cached-heap", "Cached heap"),
        funnel_variant<stack_element_tree, driver::uncached>("uncached-stack", "Not cached stack"),
        funnel_variant<heap_element_tree, driver::uncached>("uncached-heap", "Not cached heap"),
        peer("std-sort", "std::sort", std_sort),
        peer("std-stable-sort", "std::stable_sort", std_stable_sort),
        peer("pdqsort-branchless", "pdqsort_branchless", pdqsort_branchless),
        peer("vqsort", "Highway vqsort", highway_vqsort),
    };
    return variants;
}

variant const* find_variant(std::string const& name)
{
    for (variant const& v : all_variants()) {
        if (name == v.name) return &v;
    }
    return nullptr;
}

std::vector<variant const*> variant_group_members(std::string const& group)
{
    bool const all = group == "all";
    if (!all && group != "funnel" && group != "peers") return {};
    variant_group const wanted = group == "funnel" ? variant_group::funnel : variant_group::peer;
    std::vector<variant const*> members;
    for (variant const& v : all_variants()) {
        if (all || v.group == wanted) members.push_back(&v);
    }
    return members;
}

std::vector<variant const*> funnel_variants() { return variant_group_members("funnel"); }
