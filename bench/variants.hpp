#pragma once
// The one list of sorts the kit measures: the four funnel variants (the cached and the uncached
// driver, each with merge trees from the pool or from the heap) and the peers they are compared
// with. corvane's experiments, compare_sorts, the fixed report and the tests all take their sorts
// from here. Every entry runs the same way: it sorts the array and delivers the sorted items into
// the checked output, and that is all a timed interval holds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "bench/content_check.hpp"
#include "items/element.hpp"
#include "items/record.hpp"
#include "sort/sorted_stream.hpp"

// The item types of the generator, each sorted in its own order (element by key, record by the
// bounded byte compare).
enum class item_type : std::uint32_t { element, int_item, record };

// The bytes of one item of the type: 16, 4 or 100.
std::size_t item_size(item_type type);

// Calls f with a null pointer to the item type's C++ type and returns what f returns, so that one
// generic lambda serves every type:
//   with_item_type(type, [&](auto* none) { using T = std::remove_pointer_t<decltype(none)>; ... })
template <class F>
auto with_item_type(item_type type, F f)
{
    switch (type) {
    case item_type::int_item: return f(static_cast<int*>(nullptr));
    case item_type::record: return f(static_cast<record*>(nullptr));
    case item_type::element: break;
    }
    return f(static_cast<element*>(nullptr));
}

// How a variant sorts items of type T: it sorts [first, last) and delivers the result into the
// checked output.
template <class T>
using sort_into = void (*)(T* first, T* last, checked_output_of<T> into);

// "element", "int", "record".
char const* item_type_name(item_type type);
// The type of that name; false when there is none.
bool find_item_type(std::string const& name, item_type& type);
// "element, int or record", for messages.
std::string item_type_names();

class mapped_room;

// How a variant sorts items of type T with mapped storage: it leaves them sorted in a mapped array
// and returns its first item. The library sorts sort in their input; the funnel merges into an
// output array it takes from room, beside its pool, and advises the kernel of its access pattern.
template <class T>
using sort_kept = T* (*)(T* first, T* last, mapped_room& room);

enum class variant_group { funnel, peer, library };

struct variant {
    char const* name;     // on the command line and in CSV reports: "cached-stack", "std-sort", ...
    char const* display;  // in XML reports and compare_sorts' table: "Cached stack", "std::sort", ...
    variant_group group;
    sort_into<element> sort;
    // The funnel variants only: the same sort into the plain stream of the fixed report, whose
    // timed interval holds no content checksum.
    void (*report_sort)(element* first, element* last, sorted_stream<element>::iterator into);
    sort_into<int> sort_int;        // null when it does not sort int
    sort_into<record> sort_record;  // null when it does not sort record
    // The same sorts leaving their result in a mapped array; null where the into sort is.
    sort_kept<element> kept;
    sort_kept<int> kept_int;
    sort_kept<record> kept_record;

    bool sorts(item_type type) const
    {
        return type == item_type::int_item ? sort_int != nullptr
               : type == item_type::record  ? sort_record != nullptr
                                            : sort != nullptr;
    }

    // The sort for items of type T (element, int or record).
    template <class T>
    sort_into<T> sort_of() const
    {
        if constexpr (std::is_same<T, element>::value) {
            return sort;
        } else if constexpr (std::is_same<T, int>::value) {
            return sort_int;
        } else {
            return sort_record;
        }
    }

    template <class T>
    sort_kept<T> kept_of() const
    {
        if constexpr (std::is_same<T, element>::value) {
            return kept;
        } else if constexpr (std::is_same<T, int>::value) {
            return kept_int;
        } else {
            return kept_record;
        }
    }
};

// Every variant: the funnel ones in the benchmark's order (cached-stack, cached-heap,
// uncached-stack, uncached-heap), then std-sort, std-stable-sort, pdqsort-branchless, vqsort,
// spinsort, flat-stable-sort, then the library face: funnel-sort, funnel-stable-sort.
std::vector<variant> const& all_variants();

// The variant of that command-line name, or null.
variant const* find_variant(std::string const& name);

// The variants of a group name ("funnel", "peers", "library", "all") in registry order; empty for any
// other name.
std::vector<variant const*> variant_group_members(std::string const& group);

// The funnel variants: corvane's default.
std::vector<variant const*> funnel_variants();
