#include "measure/miss_counter.hpp"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <stdexcept>

#include "measure/xml_indent.hpp"

namespace {

constexpr int success = 0;

void check(int result)
{
    if (result != success) throw std::exception();
}

counter_library const& initialised_library()
{
    counter_library const* const lib = active_counter_library();
    if (lib == nullptr) throw std::exception();
    return *lib;
}

}  // namespace

miss_counter::initializer::initializer(counter_library const& lib)
{
    if (lib.library_init(lib.version) != lib.version) throw std::exception();
    use_counter_library(&lib);
}

miss_counter::miss_counter() : miss_counter(event_list{l2_data_cache_misses, tlb_misses}) {}

miss_counter::miss_counter(event_list const& events)
    : lib_(initialised_library()),
      event_set_(lib_.no_event_set),
      exceptions_in_flight_at_creation_(std::uncaught_exceptions())
{
    if (events.size() > max_events) throw std::invalid_argument("miss_counter: too many events");
    for (std::int32_t const event : events) events_[event_count_++] = event;
    check(lib_.create_eventset(&event_set_));
    try {
        for (int i = 0; i < event_count_; ++i) {
            check(lib_.add_event(event_set_, events_[i]));
            ++events_added_;
        }
        check(lib_.reset(event_set_));
    } catch (std::exception const&) {
        // The destructor does not run for an object whose construction failed.
        release();
        throw;
    }
}

miss_counter::~miss_counter() noexcept(false)
{
    int const result = release();
    if (result != success && std::uncaught_exceptions() == exceptions_in_flight_at_creation_) {
        throw std::exception();
    }
}

int miss_counter::release() noexcept
{
    if (counting_) {
        // Only a measurement cut short by a failure gets here: the library refuses to take
        // events out of a set that still counts.
        long long dropped[max_events];
        if (int const result = lib_.stop(event_set_, dropped); result != success) return result;
        counting_ = false;
    }
    while (events_added_ > 0) {
        if (int const result = lib_.remove_event(event_set_, events_[events_added_ - 1]); result != success) {
            return result;
        }
        --events_added_;
    }
    return lib_.destroy_eventset(&event_set_);
}

void miss_counter::start()
{
    check(lib_.start(event_set_));
    counting_ = true;
}

void miss_counter::stop()
{
    long long dropped[max_events];
    check(lib_.stop(event_set_, dropped));
    counting_ = false;
}

void miss_counter::reset() { check(lib_.reset(event_set_)); }

miss_counter::counts miss_counter::read() const
{
    values const both = read_values();
    counts result;
    result.l2 = both[0];
    result.tlb = both[1];
    return result;
}

miss_counter::values miss_counter::read_values() const
{
    long long delivered[max_events] = {};
    check(lib_.read(event_set_, delivered));
    values result{};
    for (std::size_t i = 0; i < max_events; ++i) result[i] = delivered[i];
    return result;
}

std::ostream& operator<<(std::ostream& os, miss_counter::xt const& fragment)
{
    write_indent(os, fragment.indent_count, fragment.indent_char);
    return os << "<l2misses>" << fragment.l2 << "</l2misses><tlbmisses>" << fragment.tlb << "</tlbmisses>";
}

miss_counter::initializer start_counter_library(counter_library const& lib)
{
    try {
        return miss_counter::initializer(lib);
    } catch (std::exception const&) {
        std::cerr << "The counter library could not be initialised" << std::endl;
        std::exit(EXIT_FAILURE);
    }
}
