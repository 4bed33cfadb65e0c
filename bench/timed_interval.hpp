#pragma once
// The timed interval of every run, in the fixed report and in experiments alike: the miss
// counters enclose the stopwatch, and between them runs the sort with its delivery into the
// output, nothing else.

#include "measure/miss_counter.hpp"
#include "measure/stopwatch.hpp"

// Times sort() on watch, counted by misses unless it is null.
template <class Sort>
void time_sort(stopwatch& watch, miss_counter* misses, Sort&& sort)
{
    if (misses != nullptr) misses->start();
    watch.start();
    sort();
    watch.stop();
    if (misses != nullptr) misses->stop();
}
