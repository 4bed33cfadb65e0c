#pragma once
// The benchmark's two run procedures over a merge tree type: `run` sorts with the cached
// driver and is reported as "Cached", `runuc` with the uncached driver as "Not cached". Each
// writes one run element of the report (standard output unless told otherwise).

#include <cstdint>
#include <iostream>

#include "bench/measured_run.hpp"
#include "items/element.hpp"
#include "sort/sort_entry.hpp"
#include "sort/sorted_stream.hpp"

template <class Tree>
void run(std::uint64_t n, char const* label, std::ostream& out = std::cout)
{
    measured_run(out, n, "Cached", label, [](element* first, element* last, sorted_stream<element>::iterator into) {
        sort_entry<Tree>(driver::cached, first, last, into);
    });
}

template <class Tree>
void runuc(std::uint64_t n, char const* label, std::ostream& out = std::cout)
{
    measured_run(out, n, "Not cached", label,
                 [](element* first, element* last, sorted_stream<element>::iterator into) {
                     sort_entry<Tree>(driver::uncached, first, last, into);
                 });
}
