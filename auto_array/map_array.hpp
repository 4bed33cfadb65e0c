#pragma once
// map_array: an array whose items live in a file mapped into memory. Stores to the items reach
// the file through the shared mapping; the last copy of the array unmaps it.

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include <unistd.h>

#include "auto_array/dynarray.hpp"
#include "auto_array/map_file.hpp"
#include "auto_array/map_flags.hpp"

namespace auto_array {

template <typename T>
class map_array : public dynarray<T, HeapMemMan> {
    using heap_part = dynarray<T, HeapMemMan>;

public:
    // Maps count items of the file name, starting offset items into it. A count of 0 maps every
    // whole item of the file from offset on. A file that cannot be mapped (missing, nothing to
    // map, too large for the file system or the address space) ends the process with a message
    // and the reason.
    map_array(char const* name, int flags, unsigned long count, unsigned long offset) : flags(flags)
    {
        if (offset > largest_count(0)) {
            detail::fail_mapping(name, "offset must be at most " + std::to_string(largest_count(0)) + " items");
        }
        unsigned long const byte_offset = offset * item_size;
        if (count == 0) {
            unsigned long file_bytes = 0;
            if (!detail::file_length(name, file_bytes)) {
                detail::fail_mapping(name, detail::error_text(errno));
            }
            count = file_bytes > byte_offset ? (file_bytes - byte_offset) / item_size : 0;
        }
        if (std::string const wrong = size_problem(count, byte_offset); !wrong.empty()) {
            detail::fail_mapping(name, wrong);
        }
        DoMap(name, count * item_size, byte_offset, flags);
        this->count = count;
    }

    // Maps the first count items of the open regular file fd, extending it as needed. The
    // descriptor stays the caller's. Where the constructor above ends the process, this one
    // throws mapping_error and leaves the file to the caller, possibly extended.
    map_array(int fd, int flags, unsigned long count) : flags(flags)
    {
        if (std::string const wrong = size_problem(count, 0); !wrong.empty()) {
            throw mapping_error(wrong);
        }
        this->refs = detail::new_reference_count();
        try {
            mapping = detail::map_descriptor(fd, count * item_size, 0, flags);
        } catch (...) {
            detail::drop_reference(this->refs);
            this->refs = nullptr;
            throw;
        }
        this->data = reinterpret_cast<T*>(mapping.base);
        this->count = count;
    }

    // Copies share the mapping.
    map_array(map_array const& other)
        : heap_part(static_cast<heap_part const&>(other)),
          mapping(other.mapping),
          temp_name(other.temp_name),
          flags(other.flags)
    {
    }

    map_array& operator=(map_array other)
    {
        Swap(other);
        return *this;
    }

    // The items are never the heap part's to free: data is cleared before it is destroyed.
    ~map_array() override
    {
        if (this->data != nullptr && detail::drop_reference(this->refs)) {
            DoUnMap();
        }
        this->data = nullptr;
    }

protected:
    // Opens and maps length bytes of the file from byte offset on.
    void DoMap(char const* name, unsigned long length, unsigned long offset, int map_flags)
    {
        // The bookkeeping is made first, so that running out of memory leaves no mapping behind.
        std::unique_ptr<char[]> name_copy;
        if ((map_flags & flag::scratch) && flag::creates(map_flags)) {
            name_copy = std::make_unique<char[]>(std::strlen(name) + 1);
            std::strcpy(name_copy.get(), name);
        }
        this->refs = detail::new_reference_count();
        mapping = detail::map_file(name, length, offset, map_flags);
        this->data = reinterpret_cast<T*>(static_cast<char*>(mapping.base) + mapping.delta);
        temp_name = name_copy.release();
    }

    // Releases the mapping and, for a scratch file, the file itself. The last owner has already
    // freed the shared count.
    void DoUnMap()
    {
        this->refs = nullptr;
        bool const drop_pages = (flags & flag::scratch) && (flags & flag::mode_mask) == 0;
        detail::unmap_file(mapping, drop_pages);
        if (temp_name != nullptr) {
            unlink(temp_name);
            delete[] temp_name;
            temp_name = nullptr;
        }
    }

private:
    static constexpr unsigned long item_size = sizeof(T);

    // The most items a file can hold from byte_offset on: its length is a signed offset.
    static unsigned long largest_count(unsigned long byte_offset)
    {
        return (static_cast<unsigned long>(std::numeric_limits<off_t>::max()) - byte_offset) / item_size;
    }

    // What is wrong with mapping count items from byte_offset on, or nothing.
    static std::string size_problem(unsigned long count, unsigned long byte_offset)
    {
        if (count == 0) return no_items_reason;
        if (count > largest_count(byte_offset)) {
            return "size must be at most " + std::to_string(largest_count(byte_offset)) + " items";
        }
        return {};
    }

    void Swap(map_array& other) noexcept
    {
        heap_part::Swap(other);
        std::swap(mapping, other.mapping);
        std::swap(temp_name, other.temp_name);
        std::swap(flags, other.flags);
    }

    detail::file_mapping mapping;
    char* temp_name = nullptr;  // the file to remove at unmapping, shared like refs
    int flags = 0;
};

}  // namespace auto_array
