#pragma once
// The arrays of one run with mapped storage: each one a scratch file under the run's folder,
// mapped shared, so that the kernel can write it back and evict it. They live as long as the
// room, and their files vanish with it (or with the process, however it ends).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "auto_array/scratch_mapping.hpp"

class mapped_room {
public:
    explicit mapped_room(std::string folder) : folder_(std::move(folder)) {}

    // bytes of fresh zeroed memory in a new scratch file; throws auto_array::mapping_error.
    void* take(std::uint64_t bytes)
    {
        maps_.push_back(std::make_unique<auto_array::scratch_mapping>(folder_, bytes));
        return maps_.back()->data();
    }

    template <class T>
    T* take_array(std::uint64_t n)
    {
        return static_cast<T*>(take(n * sizeof(T)));
    }

    // Every array so far written to disk and dropped from memory.
    void write_back_and_drop()
    {
        for (auto const& map : maps_) map->write_back_and_drop();
    }

private:
    std::string folder_;
    std::vector<std::unique_ptr<auto_array::scratch_mapping>> maps_;
};
