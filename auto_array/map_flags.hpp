#pragma once
// The flags of a mapped array, combined by OR.

namespace auto_array::flag {

// The two low bits select the open mode: create makes the file if it is missing (0666 less
// the process mask); any other value opens an existing file only.
constexpr int mode_mask = 3;
constexpr int create = 1;

constexpr int readable = 4;    // the mapping may be read
constexpr int writable = 8;    // the mapping may be written
constexpr int scratch = 16;    // with create: remove the file at unmapping; with mode 0: drop the pages first
constexpr int sequential = 32; // advise sequential access for the whole mapping

constexpr bool creates(int flags) { return (flags & mode_mask) == create; }

}  // namespace auto_array::flag
