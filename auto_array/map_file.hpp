#pragma once
// The platform work behind a mapped array: opening, sizing and mapping a file, and undoing it.
// Nothing here knows the item type; lengths and offsets are in bytes.

#include <stdexcept>
#include <string>

namespace auto_array {

// A file that could not be mapped; what() is the reason: the system's error text, or what the
// size must be.
class mapping_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The reason given for a mapping of no items.
inline constexpr char const no_items_reason[] = "size must be at least one item";

// Writes the fixed message that name cannot be mapped to standard error, the reason on the line
// after it.
void report_mapping_failure(char const* name, std::string const& reason);

}  // namespace auto_array

namespace auto_array::detail {

struct file_mapping {
    void* base = nullptr;       // page aligned start of the mapping
    unsigned long length = 0;   // whole pages
    unsigned long delta = 0;    // bytes from base to the requested offset
};

// Maps bytes [offset, offset + length) of the open regular file fd as a shared mapping. The file
// is extended, when shorter, to exactly offset + length bytes, with the space reserved on disk
// so that stores through the mapping cannot fail later. The descriptor stays the caller's, and so
// does the file's length when this throws mapping_error.
file_mapping map_descriptor(int fd, unsigned long length, unsigned long offset, int flags);

// Opens the file name read-write (created if flags say so) and maps it as map_descriptor does.
// Any failure ends the process through fail_mapping; a file this call created is removed and a
// file that existed before gets its old length back.
file_mapping map_file(char const* name, unsigned long length, unsigned long offset, int flags);

// Reports that name cannot be mapped, and why, and ends the process at once with a failure
// status.
[[noreturn]] void fail_mapping(char const* name, std::string const& reason);

// The system's text for the error number.
std::string error_text(int error);

// The length of the file name in bytes, or false if it cannot be examined.
bool file_length(char const* name, unsigned long& length);

// Unmaps the mapping, first dropping its pages when drop_pages is set. A failure is reported on
// standard error and otherwise ignored.
void unmap_file(file_mapping const& mapping, bool drop_pages);

}  // namespace auto_array::detail
