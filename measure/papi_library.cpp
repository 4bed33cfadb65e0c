#include "measure/papi_library.hpp"

#include <papi.h>

#include "measure/miss_counter.hpp"

static_assert(PAPI_L2_DCM == miss_counter::l2_data_cache_misses, "the level-2 preset has the expected code");
static_assert(PAPI_TLB_TL == miss_counter::tlb_misses, "the TLB preset has the expected code");
static_assert(PAPI_TLB_DM == miss_counter::tlb_data_misses, "the data TLB preset has the expected code");

namespace {

constexpr int cannot_tell = -1;

// The library has no text for codes outside its table.
char const* papi_error_text(int code)
{
    char const* const text = PAPI_strerror(code);
    return text != nullptr ? text : "unknown error";
}

// The hardware description exists only once the library has been initialised.
int papi_virtualized()
{
    PAPI_hw_info_t const* const info = PAPI_get_hardware_info();
    return info == nullptr ? cannot_tell : (info->virtualized != 0 ? 1 : 0);
}

}  // namespace

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
        PAPI_query_event,
        papi_error_text,
        papi_virtualized,
    };
    return papi;
}
