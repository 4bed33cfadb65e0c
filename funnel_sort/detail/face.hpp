#pragma once
// The paths behind funnel::sort and funnel::stable_sort.
//
// The drivers sort a contiguous array of items that copy freely: they move items through the
// merge trees' buffers by plain assignment and never destroy them. So
// - items that copy without throwing and need no destructor are copied into a working array,
//   sorted there, and the outer merge writes them back into the range;
// - any other type (std::string, move-only types, types without a default constructor) is moved
//   into a contiguous array once, the drivers sort pointers to the items, and the items are moved
//   back into the range in the sorted order.
// element and int in their natural order keep the benchmark's merge step and base cases.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "funnel/buffer.hpp"
#include "funnel/layout.hpp"
#include "funnel/merge_tree.hpp"
#include "funnel/merger.hpp"
#include "funnel/navigator.hpp"
#include "funnel/ordered_merger.hpp"
#include "funnel/splitter.hpp"
#include "funnel/stable_order.hpp"
#include "funnel/tuning.hpp"
#include "items/element.hpp"
#include "sort/cached.hpp"
#include "sort/small_sort.hpp"
#include "sort/stable_small_sort.hpp"
#include "sort/tuning.hpp"

namespace funnel {
namespace detail {

enum class stability { unstable, stable };

constexpr stability unstable = stability::unstable;
constexpr stability stable = stability::stable;

// Refuses a tuning the drivers cannot work with: alpha below 1 or d below 1.5 give fan-outs that
// grow without bound; past d = 4 or a base-case threshold beyond 32 bits the funnel is a plain
// base-case sort.
inline void check_tuning(tuning t)
{
    bool const in_range = t.alpha >= 1 && t.d >= 1.5f && t.d <= 4.0f;
    if (!in_range || !threshold_fits(t)) {
        throw std::invalid_argument("funnel::tuning: alpha must be at least 1, d between 1.5 and 4, and "
                                    "(2.5 alpha)^d below 2^31");
    }
}

// The merge tree the drivers sort items of type T with, merging with Step; memory from the heap.
template <class T, class Step>
using tree_of =
    rec_merge_tree<T, buffer<T*>,
                   mixed_veb_layout<pointer_flip_navigator<pointer_flip_node<2, T*>, my_splitter<2>>, my_splitter<2>, T,
                                    std::allocator<T>>,
                   Step, my_splitter<2>, nop_refill<T*>>;

// Whether Compare is T's natural order (std::less<T> or std::less<>).
template <class T, class Compare>
constexpr bool natural_order = std::is_same<Compare, std::less<T>>::value || std::is_same<Compare, std::less<>>::value;

// Whether items of type T in the order Compare take the benchmark's fast path.
template <class T, class Compare>
constexpr bool fast_path = (std::is_same<T, element>::value || std::is_same<T, int>::value) && natural_order<T, Compare>;

// The order the drivers merge in: std::less<T> on the fast path (which picks element's and int's
// base cases), the caller's comparator otherwise; wrapped in stable_order for stable_sort.
template <stability Kind, class T, class Compare>
auto order_of(Compare const& comp)
{
    if constexpr (fast_path<T, Compare>) {
        (void)comp;
        if constexpr (Kind == stable) {
            return stable_order<std::less<T>>{std::less<T>()};
        } else {
            return std::less<T>();
        }
    } else if constexpr (Kind == stable) {
        return stable_order<Compare>{comp};
    } else {
        return comp;
    }
}

// The merge step for items of type T in the order Order: element in its key order keeps the
// step that reads keys directly, every other item and order compares through the order.
template <class T, class Order>
using step_of = typename std::conditional<
    std::is_same<T, element>::value &&
        (std::is_same<Order, std::less<element>>::value || std::is_same<Order, stable_order<std::less<element>>>::value),
    simple_merger<2, buffer<element*>, element, no_merge_count, Order>, ordered_merger<2, buffer<T*>, T, Order>>::type;

// Sorts the array [first, last) of n > T + 1 items in order and delivers them to out (an array
// that does not overlap it, or the caller's iterator). [first, last) is left holding runs.
template <class T, class Order, class OutputIterator>
void run_funnel(T* first, T* last, OutputIterator out, Order const& order, tuning t)
{
    using step = step_of<T, Order>;
    using tree = tree_of<T, step>;
    iosort::_merge_sort<tree>(first, last, out, std::allocator<T>(), t, step{order});
}

// Whether the drivers may sort items of type T as they are: copies that cannot throw, no
// destructor to run (the trees release their buffers without one), and a default constructor
// to make the buffers with.
template <class T>
constexpr bool sorted_directly = std::is_trivially_destructible<T>::value && std::is_nothrow_copy_constructible<T>::value &&
                                 std::is_nothrow_copy_assignable<T>::value && std::is_nothrow_default_constructible<T>::value;

// Whether the range's items lie in one array that the outer merge can write as such.
template <class RandomIt, class T>
constexpr bool contiguous = std::is_pointer<RandomIt>::value ||
                            (!std::is_same<T, bool>::value && std::is_same<RandomIt, typename std::vector<T>::iterator>::value);

// The range as the outer merge writes it: a plain array where it is one.
template <class RandomIt>
auto output_of(RandomIt first)
{
    using T = typename std::iterator_traits<RandomIt>::value_type;
    if constexpr (contiguous<RandomIt, T>) {
        return std::addressof(*first);
    } else {
        return first;
    }
}

// An order on pointers to items: the items' order.
template <class Compare>
struct indirect_order {
    Compare comp;

    template <class T>
    bool operator()(T* a, T* b) const
    {
        return comp(*a, *b);
    }
};

// The contiguous array the items of a range are moved into while pointers to them are sorted. It
// holds raw memory for n items and destroys exactly the ones it constructed.
template <class T>
class moved_items {
public:
    explicit moved_items(std::size_t n) : size_(n), data_(std::allocator<T>().allocate(n)) {}

    moved_items(moved_items const&) = delete;
    moved_items& operator=(moved_items const&) = delete;

    ~moved_items()
    {
        std::destroy(data_, data_ + built_);
        std::allocator<T>().deallocate(data_, size_);
    }

    T* data() const { return data_; }

    // Moves the range's items in; if a move throws, the items moved so far go back where they
    // came from and the exception continues.
    template <class RandomIt>
    void move_in(RandomIt first)
    {
        try {
            for (; built_ < size_; ++built_) {
                ::new (static_cast<void*>(data_ + built_)) T(std::move(first[static_cast<std::ptrdiff_t>(built_)]));
            }
        } catch (...) {
            move_back(first);
            throw;
        }
    }

    // Moves every item back to its place in the range, as it was before move_in.
    template <class RandomIt>
    void move_back(RandomIt first)
    {
        for (std::size_t i = 0; i < built_; ++i) {
            first[static_cast<std::ptrdiff_t>(i)] = std::move(data_[i]);
        }
    }

private:
    std::size_t size_;
    T* data_;
    std::size_t built_ = 0;
};

// The working copy of a range of items that copy freely. It is as large as the range and new to
// the process on every call, so each of its pages costs a page fault on first touch; where the
// system offers huge pages on request, the copy asks for them first, which turns 512 faults into
// one (on virtual machines a fault can cost tens of microseconds).
template <class T>
class working_copy {
public:
    template <class RandomIt>
    working_copy(RandomIt first, std::size_t n) : size_(n), data_(std::allocator<T>().allocate(n))
    {
        advise_huge_pages(data_, n * sizeof(T));
        std::uninitialized_copy(first, first + static_cast<std::ptrdiff_t>(n), data_);
    }

    working_copy(working_copy const&) = delete;
    working_copy& operator=(working_copy const&) = delete;

    // The items are trivially destructible: nothing to destroy.
    ~working_copy() { std::allocator<T>().deallocate(data_, size_); }

    T* data() const { return data_; }

private:
    // Advises huge pages on the whole huge pages inside [p, p + bytes); only a hint, so a
    // refusal changes nothing.
    static void advise_huge_pages(void* p, std::size_t bytes)
    {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        std::uintptr_t const huge = std::uintptr_t(1) << 21;
        auto const begin = (reinterpret_cast<std::uintptr_t>(p) + huge - 1) & ~(huge - 1);
        auto const end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(huge - 1);
        if (begin < end) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
        (void)p;
        (void)bytes;
#endif
    }

    std::size_t size_;
    T* data_;
};

template <stability Kind, class RandomIt, class Compare>
void sort_items(RandomIt first, RandomIt last, Compare const& comp, tuning t)
{
    using T = typename std::iterator_traits<RandomIt>::value_type;
    // The range stays untouched until the outer merge writes the sorted items back into it.
    auto const n = static_cast<std::size_t>(last - first);
    working_copy<T> work(first, n);
    run_funnel(work.data(), work.data() + n, output_of(first), order_of<Kind, T>(comp), t);
}

template <stability Kind, class RandomIt, class Compare>
void sort_handles(RandomIt first, RandomIt last, Compare const& comp, tuning t)
{
    using T = typename std::iterator_traits<RandomIt>::value_type;
    auto const n = static_cast<std::size_t>(last - first);
    // All memory is taken before the first item moves, so running out leaves the range as it was.
    moved_items<T> items(n);
    std::vector<T*> handles(n);
    std::vector<T*> sorted(n);
    items.move_in(first);
    for (std::size_t i = 0; i < n; ++i) {
        handles[i] = items.data() + i;
    }
    try {
        run_funnel(handles.data(), handles.data() + n, sorted.data(), order_of<Kind, T*>(indirect_order<Compare>{comp}),
                   t);
    } catch (...) {
        items.move_back(first);
        throw;
    }
    for (std::size_t i = 0; i < n; ++i) {
        first[static_cast<std::ptrdiff_t>(i)] = std::move(*sorted[i]);
    }
}

// Ranges of at most T + 1 items, which the drivers would sort in one base case.
template <stability Kind, class RandomIt, class Compare>
void sort_small(RandomIt first, RandomIt last, Compare const& comp)
{
    using T = typename std::iterator_traits<RandomIt>::value_type;
    // Nothing to order, and an empty vector's iterator must not be dereferenced for its address.
    if (last - first < 2) return;
    if constexpr (Kind == stable && std::is_same<T, element>::value && natural_order<T, Compare> &&
                  contiguous<RandomIt, T>) {
        stable_small_sort(std::addressof(*first), std::addressof(*first) + (last - first));
    } else if constexpr (Kind == stable) {
        std::stable_sort(first, last, comp);
    } else if constexpr (std::is_same<T, element>::value && natural_order<T, Compare> && contiguous<RandomIt, T>) {
        small_sort(std::addressof(*first), std::addressof(*first) + (last - first));
    } else {
        std::sort(first, last, comp);
    }
}

template <stability Kind, class RandomIt, class Compare>
void sort_range(RandomIt first, RandomIt last, Compare const& comp, tuning t)
{
    using T = typename std::iterator_traits<RandomIt>::value_type;
    static_assert(std::is_move_constructible<T>::value && std::is_move_assignable<T>::value,
                  "funnel::sort needs items that can be move-constructed and move-assigned");
    check_tuning(t);
    if (last - first <= base_case_threshold(t) + 1) {
        sort_small<Kind>(first, last, comp);
    } else if constexpr (sorted_directly<T>) {
        sort_items<Kind>(first, last, comp, t);
    } else {
        sort_handles<Kind>(first, last, comp, t);
    }
}

}  // namespace detail
}  // namespace funnel
