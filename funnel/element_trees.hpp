#pragma once
// The two merge trees the benchmark sorts `element` items with: two-way nodes over element*,
// the mixed recursive layout, and memory either from a pool or from the heap.

#include <memory>

#include "alloc/stack_allocator.hpp"
#include "funnel/buffer.hpp"
#include "funnel/layout.hpp"
#include "funnel/merge_tree.hpp"
#include "funnel/merger.hpp"
#include "funnel/navigator.hpp"
#include "funnel/splitter.hpp"
#include "items/element.hpp"

namespace funnel {

template <typename A>
using element_tree =
    rec_merge_tree<element, buffer<element*>,
                   mixed_veb_layout<pointer_flip_navigator<pointer_flip_node<2, element*>, my_splitter<2>>,
                                    my_splitter<2>, element, A>,
                   simple_merger<2, buffer<element*>, element>, my_splitter<2>, nop_refill<element*>>;

using stack_element_tree = element_tree<stack_allocator<element>>;
using heap_element_tree = element_tree<std::allocator<element>>;

}  // namespace funnel
