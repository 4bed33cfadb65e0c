#include "measure/counter_choice.hpp"

#include <utility>
#include <vector>

namespace {

constexpr int success = 0;

char const* const not_requested = "not requested";
char const* const no_simulated_tlb = "the cache simulator models no TLB";

// The trial of automatic mode: an event set that takes every offered event it can, released
// again at the end of the trial whatever happened.
class trial_set {
public:
    explicit trial_set(counter_library const& lib) : lib_(lib), handle_(lib.no_event_set)
    {
        created_ = lib_.create_eventset(&handle_);
    }
    ~trial_set()
    {
        // The library takes no event out of a set that still counts.
        if (counting_) {
            long long dropped[miss_counter::max_events];
            lib_.stop(handle_, dropped);
        }
        for (auto at = added_.rbegin(); at != added_.rend(); ++at) lib_.remove_event(handle_, *at);
        if (created_ == success) lib_.destroy_eventset(&handle_);
    }
    trial_set(trial_set const&) = delete;
    trial_set& operator=(trial_set const&) = delete;

    int creation() const { return created_; }
    int add(std::int32_t event)
    {
        int const result = lib_.add_event(handle_, event);
        if (result == success) added_.push_back(event);
        return result;
    }
    bool empty() const { return added_.empty(); }
    // Counts for a moment, as a run would.
    int start_and_stop()
    {
        int const started = lib_.start(handle_);
        if (started != success) return started;
        counting_ = true;
        long long dropped[miss_counter::max_events];
        int const stopped = lib_.stop(handle_, dropped);
        if (stopped == success) counting_ = false;
        return stopped;
    }

private:
    counter_library const& lib_;
    int handle_;
    int created_;
    std::vector<std::int32_t> added_;
    bool counting_ = false;
};

void mark_uncounted(counter_slot& slot, std::string reason)
{
    slot.counted = false;
    slot.reason = std::move(reason);
}

// Looks the slot's candidates up in turn and keeps the first one the machine offers.
void look_up(counter_library const& lib, counter_slot& slot, std::vector<std::int32_t> const& candidates)
{
    for (std::int32_t const event : candidates) {
        slot.event = event;
        int const result = lib.query_event(event);
        if (result == success) {
            slot.counted = true;
            slot.reason.clear();
            return;
        }
        mark_uncounted(slot, lib.error_text(result));
    }
}

void choose_automatically(counter_library const& lib, counter_choice& choice)
{
    counter_slot& l2 = choice.slots[counter_choice::l2_slot];
    counter_slot& tlb = choice.slots[counter_choice::tlb_slot];
    look_up(lib, l2, {miss_counter::l2_data_cache_misses});
    look_up(lib, tlb, {miss_counter::tlb_misses, miss_counter::tlb_data_misses});
    if (!l2.counted && !tlb.counted) return;

    trial_set trial(lib);
    if (trial.creation() != success) {
        for (counter_slot& slot : choice.slots) {
            if (slot.counted) mark_uncounted(slot, lib.error_text(trial.creation()));
        }
        return;
    }
    for (counter_slot& slot : choice.slots) {
        if (!slot.counted) continue;
        int const added = trial.add(slot.event);
        if (added != success) mark_uncounted(slot, lib.error_text(added));
    }
    if (trial.empty()) return;
    int const counted = trial.start_and_stop();
    if (counted != success) {
        for (counter_slot& slot : choice.slots) {
            if (slot.counted) mark_uncounted(slot, lib.error_text(counted));
        }
    }
}

virtualization machine_of(counter_library const* lib)
{
    if (lib == nullptr) return virtualization::unknown;
    int const answer = lib->virtualized();
    if (answer < 0) return virtualization::unknown;
    return answer == 0 ? virtualization::no : virtualization::yes;
}

}  // namespace

miss_counter::event_list counter_choice::events() const
{
    miss_counter::event_list list;
    if (mode == counter_mode::simulated) return list;
    for (counter_slot const& slot : slots) {
        if (slot.counted) list.push_back(slot.event);
    }
    return list;
}

std::size_t counter_choice::slot_of_event(std::size_t nth) const
{
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (!slots[i].counted) continue;
        if (nth == 0) return i;
        --nth;
    }
    return slots.size();
}

counter_choice choose_counters(counter_mode mode, counter_library const* lib)
{
    counter_choice choice;
    choice.mode = mode;
    choice.machine = machine_of(lib);
    choice.slots[counter_choice::l2_slot].quantity = "l2misses";
    choice.slots[counter_choice::l2_slot].event = miss_counter::l2_data_cache_misses;
    choice.slots[counter_choice::tlb_slot].quantity = "tlbmisses";
    choice.slots[counter_choice::tlb_slot].event = miss_counter::tlb_misses;

    switch (mode) {
    case counter_mode::papi:
        // Asked for as they are; a machine that cannot count them fails every run, as the
        // benchmark's own report does.
        for (counter_slot& slot : choice.slots) slot.counted = true;
        break;
    case counter_mode::none:
        for (counter_slot& slot : choice.slots) mark_uncounted(slot, not_requested);
        break;
    case counter_mode::automatic:
        if (lib == nullptr) {
            for (counter_slot& slot : choice.slots) mark_uncounted(slot, missing_counter_library_reason());
        } else {
            choose_automatically(*lib, choice);
        }
        break;
    case counter_mode::simulated:
        choice.slots[counter_choice::l2_slot].event = simulated_l2_data_misses;
        choice.slots[counter_choice::l2_slot].counted = true;
        choice.slots[counter_choice::tlb_slot].event = simulated_tlb_misses;
        mark_uncounted(choice.slots[counter_choice::tlb_slot], no_simulated_tlb);
        break;
    }
    return choice;
}

char const* event_name(std::int32_t event)
{
    switch (event) {
    case miss_counter::l2_data_cache_misses: return "PAPI_L2_DCM";
    case miss_counter::tlb_misses: return "PAPI_TLB_TL";
    case miss_counter::tlb_data_misses: return "PAPI_TLB_DM";
    case simulated_l1_data_misses: return "simulated_L1_DCM";
    case simulated_l2_data_misses: return "simulated_L2_DCM";
    case simulated_tlb_misses: return "simulated_TLB";
    default: return "unknown event";
    }
}

char const* virtualization_name(virtualization v)
{
    switch (v) {
    case virtualization::yes: return "yes";
    case virtualization::no: return "no";
    default: return "unknown";
    }
}

char const* counter_mode_name(counter_mode mode)
{
    switch (mode) {
    case counter_mode::papi: return "papi";
    case counter_mode::automatic: return "auto";
    case counter_mode::simulated: return "simulated";
    default: return "none";
    }
}
