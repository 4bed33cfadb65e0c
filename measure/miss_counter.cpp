#include "measure/miss_counter.hpp"

#include <exception>
#include <stdexcept>

#include "measure/counter_error.hpp"
#include "measure/xml_indent.hpp"

namespace {

constexpr int success = 0;

counter_error library_error(counter_library const& lib, char const* call, int result)
{
    return counter_error(std::string(call) + ": " + lib.error_text(result));
}

counter_library const& initialised_library()
{
    counter_library const* const lib = active_counter_library();
    if (lib == nullptr) throw counter_error(missing_counter_library_reason());
    return *lib;
}

}  // namespace

miss_counter::initializer::initializer(counter_library const& lib)
{
    int const result = lib.library_init(lib.version);
    if (result == lib.version) {
        use_counter_library(&lib);
    } else if (result < 0) {
        throw counter_error(lib.error_text(result));
    } else {
        // A library of another version than the one the program was built for.
        throw counter_error("the library reports version " + std::to_string(result) + ", the program needs " +
                            std::to_string(lib.version));
    }
}

miss_counter::miss_counter() : miss_counter(event_list{l2_data_cache_misses, tlb_misses}) {}

miss_counter::miss_counter(event_list const& events)
    : lib_(initialised_library()),
      event_set_(lib_.no_event_set),
      exceptions_in_flight_at_creation_(std::uncaught_exceptions())
{
    if (events.size() > max_events) throw std::invalid_argument("miss_counter: too many events");
    for (std::int32_t const event : events) events_[event_count_++] = event;
    check("create_eventset", lib_.create_eventset(&event_set_));
    try {
        for (int i = 0; i < event_count_; ++i) {
            check("add_event", lib_.add_event(event_set_, events_[i]));
            ++events_added_;
        }
        check("reset", lib_.reset(event_set_));
    } catch (std::exception const&) {
        // The destructor does not run for an object whose construction failed.
        release();
        throw;
    }
}

miss_counter::~miss_counter() noexcept(false)
{
    failed_call const failed = release();
    if (failed.name != nullptr && std::uncaught_exceptions() == exceptions_in_flight_at_creation_) {
        throw library_error(lib_, failed.name, failed.result);
    }
}

miss_counter::failed_call miss_counter::release() noexcept
{
    if (counting_) {
        // Only a measurement cut short by a failure gets here: the library refuses to take
        // events out of a set that still counts.
        long long dropped[max_events];
        if (int const result = lib_.stop(event_set_, dropped); result != success) return {"stop", result};
        counting_ = false;
    }
    while (events_added_ > 0) {
        if (int const result = lib_.remove_event(event_set_, events_[events_added_ - 1]); result != success) {
            return {"remove_event", result};
        }
        --events_added_;
    }
    if (int const result = lib_.destroy_eventset(&event_set_); result != success) return {"destroy_eventset", result};
    return {};
}

void miss_counter::check(char const* name, int result) const
{
    if (result != success) throw library_error(lib_, name, result);
}

void miss_counter::start()
{
    check("start", lib_.start(event_set_));
    counting_ = true;
}

void miss_counter::stop()
{
    long long dropped[max_events];
    check("stop", lib_.stop(event_set_, dropped));
    counting_ = false;
}

void miss_counter::reset() { check("reset", lib_.reset(event_set_)); }

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
    check("read", lib_.read(event_set_, delivered));
    values result{};
    for (std::size_t i = 0; i < max_events; ++i) result[i] = delivered[i];
    return result;
}

std::ostream& operator<<(std::ostream& os, miss_counter::xt const& fragment)
{
    write_indent(os, fragment.indent_count, fragment.indent_char);
    return os << "<l2misses>" << fragment.l2 << "</l2misses><tlbmisses>" << fragment.tlb << "</tlbmisses>";
}

counter_start start_counter_library(counter_library const& lib)
{
    counter_start start;
    try {
        miss_counter::initializer const init(lib);
        start.library = &lib;
    } catch (counter_error const& e) {
        start.failure = e.reason();
        set_missing_counter_library_reason("the counter library could not be initialised: " + start.failure);
    }
    return start;
}
