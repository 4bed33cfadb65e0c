#pragma once
// The seam between the miss counters and the hardware-counter library. The counters make every
// library call through this table, so that the program can use PAPI and the tests a stand-in
// whose calls succeed or fail at will. The shapes follow PAPI 7: event sets are passed by value
// except for creation and destruction, which take the handle's address.

#include <cstdint>
#include <string>

struct counter_library {
    // The version number library_init is called with; initialisation succeeds only if the call
    // returns this same number.
    std::int32_t version;
    // The handle value of "no event set", stored before the creation call fills in a real one.
    std::int32_t no_event_set;

    int (*library_init)(int version);
    int (*create_eventset)(int* event_set);
    int (*add_event)(int event_set, int event);
    int (*remove_event)(int event_set, int event);
    int (*start)(int event_set);
    int (*stop)(int event_set, long long* values);
    int (*read)(int event_set, long long* values);
    int (*reset)(int event_set);
    int (*destroy_eventset)(int* event_set);

    // Whether this machine offers the event: 0 if it does, the library's error code if not.
    int (*query_event)(int event);
    // The library's own description of an error code.
    char const* (*error_text)(int code);
    // 1 on a virtual machine, 0 on bare metal, negative when the library cannot tell.
    int (*virtualized)();
};

// The library the miss counters call: none until the counter library has been initialised.
counter_library const* active_counter_library();

// Makes lib (or none, for null) the library the miss counters call; returns the one before.
counter_library const* use_counter_library(counter_library const* lib);

// Why no library is active: none was initialised, or the reason its initialisation failed.
std::string const& missing_counter_library_reason();
void set_missing_counter_library_reason(std::string reason);
