#pragma once
// The platform work behind a mapped array: opening, sizing and mapping a file, and undoing it.
// Nothing here knows the item type; lengths and offsets are in bytes.

namespace auto_array::detail {

struct file_mapping {
    void* base = nullptr;       // page aligned start of the mapping
    unsigned long length = 0;   // whole pages
    unsigned long delta = 0;    // bytes from base to the requested offset
};

// Maps bytes [offset, offset + length) of the file name as a shared mapping. The file is opened
// read-write (created if flags say so) and, when shorter, extended to exactly offset + length
// bytes, with the space reserved on disk so that writes through the mapping cannot fail later.
// Any failure ends the process through fail_mapping; a file this call created is removed and a
// file that existed before gets its old length back.
file_mapping map_file(char const* name, unsigned long length, unsigned long offset, int flags);

// Reports that name cannot be mapped and ends the process at once with a failure status.
[[noreturn]] void fail_mapping(char const* name);

// The length of the file name in bytes, or false if it cannot be examined.
bool file_length(char const* name, unsigned long& length);

// Unmaps the mapping, first dropping its pages when drop_pages is set. A failure is reported on
// standard error and otherwise ignored.
void unmap_file(file_mapping const& mapping, bool drop_pages);

}  // namespace auto_array::detail
