#pragma once
// Which miss counters an experiment counts. The benchmark's own report always asks for the
// level-2 and the total TLB misses and reports a failure when the machine cannot count them;
// an experiment may instead take what the machine offers, or count nothing and keep the time.

#include <array>
#include <cstdint>
#include <string>

#include "measure/counter_library.hpp"
#include "measure/miss_counter.hpp"

enum class counter_mode {
    papi,       // both fixed events; a run whose counters fail reports that failure
    automatic,  // every event the machine offers, the data TLB where the total is missing
    none,       // no counters: the time only
    simulated,  // cache misses of a simulated run of the same sort; the TLB is not simulated
};

// Names of the simulated quantities, in the event field where hardware counters name a preset.
// PAPI's presets are negative and its native events above 0x40000000, so these small numbers
// cannot be taken for either.
constexpr std::int32_t simulated_l1_data_misses = 1;
constexpr std::int32_t simulated_l2_data_misses = 2;
constexpr std::int32_t simulated_tlb_misses = 3;

// One quantity of the report (level-2 misses, TLB misses) and how it is counted.
struct counter_slot {
    char const* quantity = "";  // the report's name for it: "l2misses", "tlbmisses"
    std::int32_t event = 0;     // the event counted, or the last one tried when none could be
    bool counted = false;
    std::string reason;  // why it is not counted: the library's own words, or the mode's
};

enum class virtualization { yes, no, unknown };

struct counter_choice {
    counter_mode mode = counter_mode::none;
    static constexpr std::size_t l2_slot = 0;
    static constexpr std::size_t tlb_slot = 1;
    std::array<counter_slot, miss_counter::max_events> slots;
    virtualization machine = virtualization::unknown;

    // The hardware events to put in a run's event set, in slot order: none in simulated mode.
    miss_counter::event_list events() const;
    // The slot of the nth event of events().
    std::size_t slot_of_event(std::size_t nth) const;
};

// Decides the counters for mode with lib, the initialised library or null when there is none
// (automatic mode then gives missing_counter_library_reason() for each counter).
// For automatic, each event is first looked up and then added to a trial event set which is
// started and stopped once; what fails there is marked with the library's reason and left out.
// The trial set is released before the choice is returned. simulated makes no library call.
counter_choice choose_counters(counter_mode mode, counter_library const* lib);

// "PAPI_L2_DCM", "PAPI_TLB_TL", "PAPI_TLB_DM", "simulated_L1_DCM", "simulated_L2_DCM", "simulated_TLB".
char const* event_name(std::int32_t event);
char const* virtualization_name(virtualization v);  // "yes", "no", "unknown"
char const* counter_mode_name(counter_mode mode);   // "papi", "auto", "none", "simulated", as --counters names them
