#pragma once
// A stand-in for the hardware-counter library behind the counter seam. It keeps event sets the
// way the real library does (a new set needs the null handle, events leave a set only while it
// does not count, only empty sets can be destroyed, one set counts at a time), logs every call
// and can be told to fail the nth call of one kind. It can also offer only some events, as real
// machines do: the others are unknown to it, like the library's "Event does not exist".

#include <map>
#include <set>
#include <string>
#include <vector>

#include "measure/counter_library.hpp"
#include "measure/miss_counter.hpp"

namespace fake_counters {

enum class call {
    library_init,
    create_eventset,
    add_event,
    remove_event,
    start,
    stop,
    read,
    reset,
    destroy_eventset,
    query_event,
};

constexpr int version = 0x07000000;
constexpr int no_event_set = -1;
constexpr int failure = -1;           // the code a failing call returns
constexpr int refused = -10;          // what the library answers to an illegal call
constexpr int no_such_event = -7;     // the library's code for an event the machine lacks
constexpr int first_handle = 100;

struct event_set {
    std::vector<int> events;
    bool counting = false;
};

struct state {
    std::vector<std::string> log;
    bool fail_enabled = false;
    call failing_call = call::library_init;
    int failing_occurrence = 0;  // 1-based; 0 fails every call of that kind
    std::map<call, int> calls;
    std::map<int, event_set> sets;
    int next_handle = first_handle;
    long long l2 = 0;
    long long tlb = 0;  // delivered for either TLB event
    int init_result = version;
    std::set<int> offered = {miss_counter::l2_data_cache_misses, miss_counter::tlb_misses,
                             miss_counter::tlb_data_misses};
    int virtualized = 0;

    // Makes the nth (1-based; 0 for every) call of kind c fail.
    void fail(call c, int occurrence = 0)
    {
        fail_enabled = true;
        failing_call = c;
        failing_occurrence = occurrence;
    }
    int open_sets() const { return static_cast<int>(sets.size()); }
};

inline state& current()
{
    static state s;
    return s;
}

inline std::string event_name(int event)
{
    if (event == miss_counter::l2_data_cache_misses) return "L2";
    if (event == miss_counter::tlb_misses) return "TLB";
    if (event == miss_counter::tlb_data_misses) return "DTLB";
    return "?" + std::to_string(event);
}

inline char const* error_text(int code)
{
    switch (code) {
    case failure: return "fake failure";
    case refused: return "fake refusal";
    case no_such_event: return "Event does not exist";
    default: return "unknown code";
    }
}

// Writes the counts of the set's events, in the order they were added.
inline void deliver(event_set const& set, long long* values)
{
    for (std::size_t i = 0; i < set.events.size(); ++i) {
        values[i] = set.events[i] == miss_counter::l2_data_cache_misses ? current().l2 : current().tlb;
    }
}

// Logs the call and tells whether it is the one to fail.
inline bool enter(call c, std::string const& entry)
{
    state& s = current();
    s.log.push_back(entry);
    int const n = ++s.calls[c];
    return s.fail_enabled && s.failing_call == c && (s.failing_occurrence == 0 || s.failing_occurrence == n);
}

inline event_set* find(int handle)
{
    auto it = current().sets.find(handle);
    return it == current().sets.end() ? nullptr : &it->second;
}

inline bool any_counting()
{
    for (auto const& entry : current().sets) {
        if (entry.second.counting) return true;
    }
    return false;
}

inline counter_library const& library()
{
    static counter_library const fake = {
        version,
        no_event_set,
        [](int v) {
            if (enter(call::library_init, "init")) return failure;
            return v == version ? current().init_result : failure;
        },
        [](int* handle) {
            if (enter(call::create_eventset, "create")) return failure;
            if (*handle != no_event_set) return refused;
            *handle = current().next_handle++;
            current().sets[*handle] = event_set{};
            return 0;
        },
        [](int handle, int event) {
            if (enter(call::add_event, "add " + event_name(event))) return failure;
            event_set* set = find(handle);
            if (set == nullptr || set->counting) return refused;
            if (current().offered.count(event) == 0) return no_such_event;
            set->events.push_back(event);
            return 0;
        },
        [](int handle, int event) {
            if (enter(call::remove_event, "remove " + event_name(event))) return failure;
            event_set* set = find(handle);
            if (set == nullptr || set->counting || set->events.empty() || set->events.back() != event) return refused;
            set->events.pop_back();
            return 0;
        },
        [](int handle) {
            if (enter(call::start, "start")) return failure;
            event_set* set = find(handle);
            if (set == nullptr || any_counting()) return refused;
            set->counting = true;
            return 0;
        },
        [](int handle, long long* values) {
            if (enter(call::stop, "stop")) return failure;
            event_set* set = find(handle);
            if (set == nullptr || !set->counting) return refused;
            set->counting = false;
            deliver(*set, values);
            return 0;
        },
        [](int handle, long long* values) {
            if (enter(call::read, "read")) return failure;
            event_set const* set = find(handle);
            if (set == nullptr) return refused;
            deliver(*set, values);
            return 0;
        },
        [](int handle) {
            if (enter(call::reset, "reset")) return failure;
            return find(handle) == nullptr ? refused : 0;
        },
        [](int* handle) {
            if (enter(call::destroy_eventset, "destroy")) return failure;
            event_set* set = find(*handle);
            if (set == nullptr || !set->events.empty()) return refused;
            current().sets.erase(*handle);
            *handle = no_event_set;
            return 0;
        },
        [](int event) {
            if (enter(call::query_event, "query " + event_name(event))) return failure;
            return current().offered.count(event) != 0 ? 0 : no_such_event;
        },
        error_text,
        [] { return current().virtualized; },
    };
    return fake;
}

// Installs a fresh stand-in for the life of the object and puts the previous library back.
class installed {
public:
    installed() : before_(use_counter_library(&library())) { current() = state{}; }
    ~installed() { use_counter_library(before_); }
    installed(installed const&) = delete;
    installed& operator=(installed const&) = delete;

private:
    counter_library const* before_;
};

}  // namespace fake_counters
