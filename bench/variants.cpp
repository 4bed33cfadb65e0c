#include "bench/variants.hpp"

#include <algorithm>
#include <cstdint>

#include <boost/sort/flat_stable_sort/flat_stable_sort.hpp>
#include <boost/sort/pdqsort/pdqsort.hpp>
#include <boost/sort/spinsort/spinsort.hpp>

#include "auto_array/scratch_mapping.hpp"
#include "bench/highway_variants.hpp"
#include "bench/mapped_room.hpp"
#include "bench/read_ahead.hpp"
#include "funnel/item_trees.hpp"
#include "funnel_sort/sort.hpp"
#include "funnel/tuning.hpp"
#include "funnel/tuning_globals.hpp"
#include "sort/sort_entry.hpp"

namespace {

char const* const type_names[] = {"element", "int", "record"};
std::size_t const type_sizes[] = {sizeof(element), sizeof(int), sizeof(record)};

// The one place a benchmark sort reads the tuning globals: every funnel run sorts at the setting
// they hold when it starts.
funnel::tuning current_tuning() { return funnel::tuning{alpha, d}; }

template <class Tree, driver Driver, class T, class Output>
void funnel_sort(T* first, T* last, Output into)
{
    sort_entry<Tree>(Driver, first, last, into, current_tuning());
}

// Below memory the funnel reads its runs at many places at once, a few pages at each before it
// moves on: the kernel's read-ahead would fetch windows around every fault that are evicted
// again before they are used. Random-access advice makes a fault read the page it needs, and the
// leaves ask for the next block of each run as they reach a new one, the base case for the next
// block of the input (read_ahead.hpp).
template <class Tree, driver Driver, class T>
T* funnel_kept(T* first, T* last, mapped_room& room)
{
    using reading_ahead = typename funnel::with_refill<Tree, read_ahead::run_advice<T*>>::type;
    auto const n = static_cast<std::uint64_t>(last - first);
    T* const out = room.take_array<T>(n);
    auto_array::advise_random_access(first, n * sizeof(T));
    auto_array::advise_random_access(out, n * sizeof(T));
    sort_entry_in<reading_ahead>(Driver, first, last, out, current_tuning(), [&room](std::size_t bytes) {
        void* const pool = room.take(bytes);
        auto_array::advise_random_access(pool, bytes);
        return pool;
    });
    return out;
}

// The library sorts sort the array in place; the copy into the checked output belongs to their
// interval as the funnel's delivery belongs to its. Each is a class with one static run, so that
// one template makes the three item types' sorts of each.
struct by_std_sort {
    template <class T>
    static void run(T* first, T* last) { std::sort(first, last); }
};
struct by_std_stable_sort {
    template <class T>
    static void run(T* first, T* last) { std::stable_sort(first, last); }
};
struct by_pdqsort_branchless {
    template <class T>
    static void run(T* first, T* last) { boost::sort::pdqsort_branchless(first, last); }
};
// Boost's two sequential stable sorts: spinsort merges through a buffer of n / 2 items,
// flat_stable_sort through one of about n / 256 items plus 8 KiB.
struct by_spinsort {
    template <class T>
    static void run(T* first, T* last) { boost::sort::spinsort(first, last); }
};
struct by_flat_stable_sort {
    template <class T>
    static void run(T* first, T* last) { boost::sort::flat_stable_sort(first, last); }
};
// The library face at its own default tuning; its time includes writing the sorted items back.
struct by_funnel_sort {
    template <class T>
    static void run(T* first, T* last) { funnel::sort(first, last); }
};
struct by_funnel_stable_sort {
    template <class T>
    static void run(T* first, T* last) { funnel::stable_sort(first, last); }
};

template <class Sort, class T>
void sorted_in_place(T* first, T* last, checked_output_of<T> into)
{
    Sort::run(first, last);
    std::copy(first, last, into);
}

// With mapped storage the sorted items stay where they are.
template <class Sort, class T>
T* sorted_kept(T* first, T* last, mapped_room&)
{
    Sort::run(first, last);
    return first;
}

// A sort of all three item types that sorts in place.
template <class Sort>
variant in_place(char const* name, char const* display, variant_group group)
{
    return {name,
            display,
            group,
            sorted_in_place<Sort, element>,
            nullptr,
            sorted_in_place<Sort, int>,
            sorted_in_place<Sort, record>,
            sorted_kept<Sort, element>,
            sorted_kept<Sort, int>,
            sorted_kept<Sort, record>};
}

template <template <class> class Tree, driver Driver>
variant funnel_variant(char const* name, char const* display)
{
    return {name,
            display,
            variant_group::funnel,
            funnel_sort<Tree<element>, Driver, element, checked_output>,
            funnel_sort<Tree<element>, Driver, element, sorted_stream<element>::iterator>,
            funnel_sort<Tree<int>, Driver, int, checked_output_of<int>>,
            funnel_sort<Tree<record>, Driver, record, checked_output_of<record>>,
            funnel_kept<Tree<element>, Driver, element>,
            funnel_kept<Tree<int>, Driver, int>,
            funnel_kept<Tree<record>, Driver, record>};
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

std::string item_type_names()
{
    std::size_t const count = std::size(type_names);
    std::string names;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) names += i + 1 == count ? " or " : ", ";
        names += type_names[i];
    }
    return names;
}

std::size_t item_size(item_type type) { return type_sizes[static_cast<std::size_t>(type)]; }

std::vector<variant> const& all_variants()
{
    using funnel::heap_item_tree;
    using funnel::stack_item_tree;
    static std::vector<variant> const variants = [] {
        std::vector<variant> all = {
        funnel_variant<stack_item_tree, driver::cached>("cached-stack", "Cached stack"),
        funnel_variant<heap_item_tree, driver::cached>("cached-heap", "Cached heap"),
        funnel_variant<stack_item_tree, driver::uncached>("uncached-stack", "Not cached stack"),
        funnel_variant<heap_item_tree, driver::uncached>("uncached-heap", "Not cached heap"),
        in_place<by_std_sort>("std-sort", "std::sort", variant_group::peer),
        in_place<by_std_stable_sort>("std-stable-sort", "std::stable_sort", variant_group::peer),
        in_place<by_pdqsort_branchless>("pdqsort-branchless", "pdqsort_branchless", variant_group::peer),
        };
        // Every run takes its variant from this list, so whatever Highway's entry prepares is made
        // before any timed interval. A build without Highway has none.
        for (variant const& v : highway_variants()) all.push_back(v);
        all.insert(all.end(), {
            in_place<by_spinsort>("spinsort", "spinsort", variant_group::peer),
            in_place<by_flat_stable_sort>("flat-stable-sort", "flat_stable_sort", variant_group::peer),
            in_place<by_funnel_sort>("funnel-sort", "funnel::sort", variant_group::library),
            in_place<by_funnel_stable_sort>("funnel-stable-sort", "funnel::stable_sort", variant_group::library),
        });
        return all;
    }();
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
    if (!all && group != "funnel" && group != "peers" && group != "library") return {};
    variant_group const wanted = group == "funnel"    ? variant_group::funnel
                                 : group == "library" ? variant_group::library
                                                      : variant_group::peer;
    std::vector<variant const*> members;
    for (variant const& v : all_variants()) {
        if (all || v.group == wanted) members.push_back(&v);
    }
    return members;
}

std::vector<variant const*> funnel_variants() { return variant_group_members("funnel"); }
