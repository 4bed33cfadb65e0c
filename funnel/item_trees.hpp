#pragma once
// The merge trees of every item type: element keeps its trees (element_trees.hpp) with the
// key-reading merge step; any other type gets the same layout and nodes over T* with the merge
// step of its order, std::less<T>.

#include <functional>
#include <memory>
#include <type_traits>

#include "alloc/stack_allocator.hpp"
#include "funnel/element_trees.hpp"
#include "funnel/ordered_merger.hpp"

namespace funnel {

template <typename T, typename A>
using ordered_tree =
    rec_merge_tree<T, buffer<T*>,
                   mixed_veb_layout<pointer_flip_navigator<pointer_flip_node<2, T*>, my_splitter<2>>, my_splitter<2>,
                                    T, A>,
                   ordered_merger<2, buffer<T*>, T, std::less<T>>, my_splitter<2>, nop_refill<T*>>;

template <typename T, typename A>
using item_tree = typename std::conditional<std::is_same<T, element>::value, element_tree<A>, ordered_tree<T, A>>::type;

template <typename T>
using stack_item_tree = item_tree<T, stack_allocator<T>>;
template <typename T>
using heap_item_tree = item_tree<T, std::allocator<T>>;

}  // namespace funnel
