#pragma once
// Where an experiment's inputs come from: a named pattern drawn in memory for every run, or an
// element file written by the generator, mapped read-only, whose first n items every run of
// size n sorts. Each run sorts a fresh array; its payloads are the elements' indices, so that
// the stronger check sees a payload that goes astray.

#include <cstdint>
#include <memory>
#include <string>

#include "auto_array/map_array.hpp"
#include "items/element.hpp"

class input_source {
public:
    // A pattern of gen/input_patterns.hpp; the name must be one of them.
    static input_source pattern(std::string const& name);
    // The whole file path, which must hold a positive multiple of 16 bytes (checked by the
    // caller: a file that cannot be mapped ends the process, as the array library does).
    static input_source file(std::string const& path);

    // The pattern's name or the file's path, for the report.
    std::string const& name() const { return name_; }
    bool is_file() const { return items_ != nullptr; }
    // The number of elements in the file; patterns have no limit.
    std::uint64_t available() const;

    // Fills [first, last): the pattern drawn from drand48 seeded with seed, or the file's first
    // items (seed unused). Then every payload becomes its element's index.
    void fill(element* first, element* last, std::uint64_t seed) const;

private:
    std::string name_;
    std::shared_ptr<auto_array::map_array<element> const> items_;
};
