#pragma once
// The real hardware-counter library, PAPI, behind the counter seam.

#include "measure/counter_library.hpp"

counter_library const& papi_counter_library();
