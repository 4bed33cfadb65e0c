#pragma once
// What built this program, for --version and the experiments' manifest.

namespace kit {

// The project's version, as CMake's project() gives it: "1.0.0".
char const* version();
// The commit of the git checkout the program was built from, 12 hex digits, with "-dirty" when
// tracked files differed from it; "" when the sources were no git checkout.
char const* commit();
// CMake's build type ("Release", ...) and the compiler flags of that build type, the options
// every target gets (warnings, sanitizers) included.
char const* build_type();
char const* build_flags();

}  // namespace kit
