#pragma once
// The flags every program answers alike: -h and --help print the usage on standard output and end
// with status 0; --version prints the program's name, the project's version and, when it was built
// from a git checkout, the commit.

#include <ostream>
#include <string_view>

#include "cli/build_info.hpp"

namespace cli {

inline bool asks_for_help(std::string_view arg) { return arg == "-h" || arg == "--help"; }

inline bool asks_for_version(std::string_view arg) { return arg == "--version"; }

// "datlow 1.0.0 (commit 0123456789ab)", or without the commit outside a checkout.
inline void write_version(std::ostream& out, char const* program)
{
    out << program << ' ' << kit::version();
    if (*kit::commit() != '\0') out << " (commit " << kit::commit() << ')';
    out << std::endl;
}

}  // namespace cli
