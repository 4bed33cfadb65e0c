// Start-up of the measurement module in the benchmark program: the system description first,
// then the counter library. Static objects of one translation unit are constructed in the
// order of their definitions, while objects of different units come in no fixed order; so this
// unit fills the description itself before it initialises the library, whenever the
// description's own unit runs (uname writes the same record both times). Test programs do not
// link this unit, so a machine whose counter library cannot start does not stop them.

#include "measure/miss_counter.hpp"
#include "measure/papi_library.hpp"
#include "measure/sys_names.hpp"

namespace {

struct system_description_filler {
    system_description_filler() { sys_names::fill(); }
};
system_description_filler const fill_system_description;

}  // namespace

miss_counter::initializer const miss_counter::init = start_counter_library(papi_counter_library());
