#include "funnel/element_trees.hpp"
#include "sort/pool_estimate.hpp"

std::uint64_t pool_size_estimate(std::uint64_t n, funnel::tuning t)
{
    return pool_size_estimate_for<funnel::stack_element_tree>(n, t);
}
