#pragma once
// map_array: an array whose items live in a file mapped into memory. Stores to the items reach
// the file through the shared mapping; the last copy of the array unmaps it.

#include <climits>
#include <cstring>
#include <memory>

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
    // map, too large for the file system or the address space) ends the process with a message.
    map_array(char const* name, int flags, unsigned long count, unsigned long offset) : flags(flags)
    {
        constexpr unsigned long item_size = sizeof(T);
        if (offset > ULONG_MAX / item_size) {
            detail::fail_mapping(name);
        }
        unsigned long const byte_offset = offset * item_size;
        if (count == 0) {
            unsigned long file_bytes = 0;
            if (!detail::file_length(name, file_bytes)) {
                detail::fail_mapping(name);
            }
            count = file_bytes > byte_offset ? (file_bytes - byte_offset) / item_size : 0;
        }
        if (count > ULONG_MAX / item_size) {
            detail::fail_mapping(name);
        }
        DoMap(name, count * item_size, byte_offset, flags);
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
