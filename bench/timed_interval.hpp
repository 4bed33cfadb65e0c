#pragma once
// The timed interval of every run, in the fixed report and in experiments alike: the miss
// counters enclose the stopwatch, and between them runs the sort with its delivery into the
// output, nothing else. The fixed report passes its microsecond stopwatch (stopwatch.hpp),
// experiments the steady nanosecond one (steady_stopwatch.hpp) and, for short sorts, a sort()
// that sorts several prepared copies one after the other.

#include "measure/data_movement.hpp"
#include "measure/miss_counter.hpp"

// Times sort() on watch, counted by misses unless it is null; moved, unless null, gets what the
// same interval moved (faults, bytes, processor time, peak memory), read outside the counters.
template <class Watch, class Sort>
void time_sort(Watch& watch, miss_counter* misses, Sort&& sort, movement_meter* moved = nullptr,
               data_movement* movement = nullptr)
{
    if (moved != nullptr) moved->start();
    if (misses != nullptr) misses->start();
    watch.start();
    sort();
    watch.stop();
    if (misses != nullptr) misses->stop();
    if (moved != nullptr) *movement = moved->stop();
}
