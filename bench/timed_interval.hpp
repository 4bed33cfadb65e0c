#pragma once
// The timed interval of every run, in the fixed report and in experiments alike: the miss
// counters enclose the stopwatch, and between them runs the sort with its delivery into the
// output, nothing else. The fixed report passes its microsecond stopwatch (stopwatch.hpp),
// experiments the steady nanosecond one (steady_stopwatch.hpp) and, for short sorts, a sort()
// that sorts several prepared copies one after the other.

#include "measure/miss_counter.hpp"

// Times sort() on watch, counted by misses unless it is null.
template <class Watch, class Sort>
void time_sort(Watch& watch, miss_counter* misses, Sort&& sort)
{
    if (misses != nullptr) misses->start();
    watch.start();
    sort();
    watch.stop();
    if (misses != nullptr) misses->stop();
}
