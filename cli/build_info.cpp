#include "cli/build_info.hpp"

#include "kit_build_info.hpp"

namespace kit {

char const* version() { return KIT_VERSION; }
char const* commit() { return KIT_COMMIT; }
char const* build_type() { return KIT_BUILD_TYPE; }
char const* build_flags() { return KIT_BUILD_FLAGS; }

}  // namespace kit
