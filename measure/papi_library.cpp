#include "measure/papi_library.hpp"

#include <papi.h>

#include "measure/miss_counter.hpp"

static_assert(PAPI_L2_DCM == miss_counter::l2_data_cache_misses, "the level-2 preset has the expected code");
static_assert(PAPI_TLB_TL == miss_counter::tlb_misses, "the TLB preset has the expected code");

counter_library const& papi_counter_library()
{
    static counter_library const papi = {
        PAPI_VER_CURRENT,
        PAPI_NULL,
        PAPI_library_init,
        PAPI_create_eventset,
        PAPI_add_event,
        PAPI_remove_event,
        PAPI_start,
        PAPI_stop,
        PAPI_read,
        PAPI_reset,
        PAPI_destroy_eventset,
    };
    return papi;
}
