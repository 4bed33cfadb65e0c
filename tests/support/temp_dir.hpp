#pragma once
// A fresh directory under /tmp for one test, removed with everything in it afterwards.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/process.hpp"

namespace test_support {

class temp_dir {
public:
    temp_dir()
    {
        char pattern[] = "/tmp/kit-test-dir-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~temp_dir() { std::filesystem::remove_all(path); }
    temp_dir(temp_dir const&) = delete;
    temp_dir& operator=(temp_dir const&) = delete;

    std::string file(std::string const& name) const { return path + "/" + name; }

private:
    std::string path;
};

inline void write_file(std::string const& path, std::string const& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool exists(std::string const& path) { return std::filesystem::exists(path); }

// Bytes 0, 1, 2, ... wrapping at 256, so every position of a file can be told apart.
inline std::string counting_bytes(std::size_t length)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i);
    return bytes;
}

}  // namespace test_support
