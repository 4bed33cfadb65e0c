#pragma once
// Where an experiment's inputs come from: a named pattern drawn in memory for every run, or a file
// of the run's item type written by the generator, whose first n items every run of size n sorts. The
// file is only ever read: opened read-only and loaded with reads into each run's own array, so
// that it is never written, extended or mapped. Each run sorts a fresh array; an element's payload
// is its index, so that the stronger check sees a payload that goes astray.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "items/element.hpp"
#include "items/record.hpp"

// The input file could not be opened or read; the text names the file and the cause.
class input_file_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class input_source {
public:
    // A pattern of gen/input_patterns.hpp; the name must be one of them.
    static input_source pattern(std::string const& name);
    // The file path, which must hold a positive multiple of item_size bytes (checked by the
    // caller). Raises input_file_error if it cannot be opened for reading.
    static input_source file(std::string const& path, std::size_t item_size = sizeof(element));

    // The pattern's name or the file's path, for the report.
    std::string const& name() const { return name_; }
    bool is_file() const { return file_ != nullptr; }
    // The number of items in the file when it was opened; patterns have no limit.
    std::uint64_t available() const;

    // Fills [first, last): the pattern drawn from drand48 seeded with seed, or the file's first
    // items (seed unused). Then every element's payload becomes its index. Raises
    // input_file_error when the file cannot be read or no longer holds those items (another
    // process shortened it).
    template <class T>
    void fill(T* first, T* last, std::uint64_t seed) const;

private:
    struct open_file;

    void read(char* into, std::uint64_t bytes) const;

    std::string name_;
    std::shared_ptr<open_file const> file_;
};

extern template void input_source::fill(element*, element*, std::uint64_t) const;
extern template void input_source::fill(int*, int*, std::uint64_t) const;
extern template void input_source::fill(record*, record*, std::uint64_t) const;
