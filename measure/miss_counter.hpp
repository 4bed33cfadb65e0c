#pragma once
// Counts level-2 data cache misses and TLB misses with the hardware-counter library, through
// the counter seam (counter_library.hpp). Every failed library call raises a counter_error
// (counter_error.hpp: it reads like a plain std::exception and carries the library's reason)
// from the operation that made it. The benchmark's own report counts the two fixed events; an
// experiment may count fewer, or the data TLB in place of the total.

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "measure/counter_library.hpp"

class miss_counter {
public:
    // The two preset events, in the order they are added and read.
    static constexpr std::int32_t l2_data_cache_misses = INT32_MIN + 0x02;  // PAPI_L2_DCM, 0x80000002
    static constexpr std::int32_t tlb_misses = INT32_MIN + 0x16;            // PAPI_TLB_TL, 0x80000016
    // Offered where the total is not (recent Intel and AMD processors).
    static constexpr std::int32_t tlb_data_misses = INT32_MIN + 0x14;  // PAPI_TLB_DM, 0x80000014

    static constexpr std::size_t max_events = 2;
    using event_list = std::vector<std::int32_t>;
    // One count per event, in the order the events were given.
    using values = std::array<std::int64_t, max_events>;

    // Initialises a counter library once per process and makes it the one the counters call;
    // raises a counter_error if initialisation does not return the library's version.
    class initializer {
    public:
        explicit initializer(counter_library const& lib);
    };

    struct counts {
        std::int64_t l2 = 0;
        std::int64_t tlb = 0;
    };

    // Creates an event set with the two events and zeroes its counts. Fails if no library has
    // been initialised. A failure part-way gives back what was already set up.
    miss_counter();
    // The same with the given events (at most max_events, else std::invalid_argument), in order.
    explicit miss_counter(event_list const& events);
    // Removes the events and destroys the event set (stopping it first if it still counts). A
    // failure raises, except while another exception is already in flight, which must not be
    // replaced (the process would end); the first failure is the one reported then.
    ~miss_counter() noexcept(false);

    miss_counter(miss_counter const&) = delete;
    miss_counter& operator=(miss_counter const&) = delete;

    void start();
    // Stops counting; the counts the library delivers here are read again with read().
    void stop();
    void reset();
    // The two fixed events' counts.
    counts read() const;
    // The counts of whatever events the set holds; positions beyond them are 0.
    values read_values() const;

    // Report fragment: indentation, then <l2misses>..</l2misses><tlbmisses>..</tlbmisses>,
    // without ending the line.
    struct xt {
        std::int64_t l2;
        std::int64_t tlb;
        std::int32_t indent_count;
        char indent_char;
    };

private:
    // A library call that did not succeed: its name (null if none failed) and result.
    struct failed_call {
        char const* name = nullptr;
        int result = 0;
    };
    // Undoes as much of the set-up as exists, in reverse order, stopping at the first failing
    // call, which it returns.
    failed_call release() noexcept;
    void check(char const* name, int result) const;

    counter_library const& lib_;
    int event_set_;
    std::array<std::int32_t, max_events> events_{};
    int event_count_ = 0;
    int events_added_ = 0;
    bool counting_ = false;
    int exceptions_in_flight_at_creation_;
};

std::ostream& operator<<(std::ostream& os, miss_counter::xt const& fragment);

// The outcome of initialising the counter library when the program starts.
struct counter_start {
    counter_library const* library = nullptr;  // the initialised library, or null
    std::string failure;                       // the library's reason when it could not start
};

// Initialises lib once for the program (see miss_counter::initializer). When that fails, no
// library is active and the counters, made anyway, fail with the reason.
counter_start start_counter_library(counter_library const& lib);
