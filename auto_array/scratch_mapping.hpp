#pragma once
// Scratch arrays in files: a shared mapping of a file in a folder on disk, so that the kernel can
// write its pages back and evict them, and a run can hold more than memory. The file has no name
// from the moment it exists (O_TMPFILE; where the file system lacks it, a named file removed right
// after it is opened), so nothing of it outlives the process, however the process ends.

#include <cstdint>
#include <string>

#include "auto_array/map_file.hpp"

namespace auto_array {

// What stops folder from taking scratch files of bytes in all, or empty when nothing does: a
// folder that is missing, no folder, not writable, in memory (tmpfs or ramfs, which can only give
// pages back to swap) or without that much free space (the text says how much is needed and how
// much is free).
std::string scratch_folder_problem(std::string const& folder, std::uint64_t bytes);

class scratch_mapping {
public:
    // bytes (at least 1) of a new scratch file in folder, reserved on disk and mapped for reading
    // and writing. Throws mapping_error with the reason when it cannot be made.
    scratch_mapping(std::string const& folder, std::uint64_t bytes);
    ~scratch_mapping();
    scratch_mapping(scratch_mapping const&) = delete;
    scratch_mapping& operator=(scratch_mapping const&) = delete;

    void* data() const { return mapping_.base; }
    std::uint64_t bytes() const { return bytes_; }

    // Writes every changed page back to the file and waits for it, then drops the pages from
    // memory and from the page cache, so that the next access reads them from disk.
    void write_back_and_drop();

private:
    int fd_ = -1;
    std::uint64_t bytes_ = 0;
    detail::file_mapping mapping_;
};

// Writes the pages holding [first, first + bytes) of a shared file mapping back to their file and
// waits until they are written.
void write_back(void const* first, std::uint64_t bytes);

// Tells the kernel that [first, first + bytes) of a mapping is reached in no useful order, so that
// a fault reads only the page it needs instead of a read-ahead window of neighbours that would be
// evicted again before they are used.
void advise_random_access(void const* first, std::uint64_t bytes);

// Asks the kernel to start reading the pages of [first, first + bytes) of a mapping now, without
// waiting for them, so that they are in by the time they are touched.
void advise_will_need(void const* first, std::uint64_t bytes);

}  // namespace auto_array
