#include <exception>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "measure/counter_error.hpp"
#include "measure/miss_counter.hpp"
#include "tests/measure/fake_counter_library.hpp"

namespace {

using fake_counters::call;
using strings = std::vector<std::string>;

// Runs f and returns the reason of the counter failure it raised, "none" if it raised none.
// The failure reads like a plain std::exception, as the benchmark's report shows it.
template <class F>
std::string counter_failure(F f)
{
    try {
        f();
    } catch (counter_error const& e) {
        EXPECT_STREQ(e.what(), std::exception().what());
        return e.reason();
    }
    return "none";
}

TEST(MissCounter, FailsWithoutAnInitialisedLibrary)
{
    fake_counters::installed fake;
    use_counter_library(nullptr);
    EXPECT_EQ(counter_failure([] { miss_counter counter; }), missing_counter_library_reason());
    EXPECT_TRUE(fake_counters::current().log.empty());
}

TEST(MissCounter, MakesItsCallsInOrderAndReadsBothCounts)
{
    fake_counters::installed fake;
    fake_counters::current().l2 = 123456789012345;
    fake_counters::current().tlb = -7;
    {
        miss_counter counter;
        counter.start();
        counter.stop();
        miss_counter::counts const counts = counter.read();
        EXPECT_EQ(counts.l2, 123456789012345);
        EXPECT_EQ(counts.tlb, -7);
        counter.reset();
    }
    EXPECT_EQ(fake_counters::current().log, (strings{"create", "add L2", "add TLB", "reset", "start", "stop", "read",
                                                     "reset", "remove TLB", "remove L2", "destroy"}));
    EXPECT_EQ(fake_counters::current().open_sets(), 0);
}

// A construction that fails part-way gives back what it had set up.
TEST(MissCounter, FailedConstructionReleasesWhatItSetUp)
{
    struct failing_step {
        call which;
        int occurrence;
        char const* reason;
        strings log;
    };
    std::vector<failing_step> const steps = {
        {call::create_eventset, 1, "create_eventset: fake failure", {"create"}},
        {call::add_event, 1, "add_event: fake failure", {"create", "add L2", "destroy"}},
        {call::add_event, 2, "add_event: fake failure", {"create", "add L2", "add TLB", "remove L2", "destroy"}},
        {call::reset, 1, "reset: fake failure",
         {"create", "add L2", "add TLB", "reset", "remove TLB", "remove L2", "destroy"}},
    };
    for (failing_step const& step : steps) {
        fake_counters::installed fake;
        fake_counters::current().fail(step.which, step.occurrence);
        EXPECT_EQ(counter_failure([] { miss_counter counter; }), step.reason);
        EXPECT_EQ(fake_counters::current().log, step.log);
        EXPECT_EQ(fake_counters::current().open_sets(), 0);
    }
}

TEST(MissCounter, EveryFailedOperationRaisesWithTheLibrarysReason)
{
    for (call const which : {call::start, call::stop, call::reset, call::read}) {
        fake_counters::installed fake;
        miss_counter counter;
        if (which != call::start) counter.start();
        fake_counters::current().fail(which);
        std::string const reason = counter_failure([&] {
            switch (which) {
            case call::start: counter.start(); break;
            case call::stop: counter.stop(); break;
            case call::reset: counter.reset(); break;
            default: counter.read(); break;
            }
        });
        EXPECT_NE(reason.find(": fake failure"), std::string::npos) << reason;
        fake_counters::current().fail_enabled = false;  // lets the counter go cleanly
    }
}

TEST(MissCounter, DestructionStopsAtTheFirstFailureAndRaises)
{
    for (call const which : {call::remove_event, call::destroy_eventset}) {
        fake_counters::installed fake;
        fake_counters::current().fail(which);
        EXPECT_EQ(counter_failure([] { miss_counter counter; }),
                  which == call::remove_event ? "remove_event: fake failure" : "destroy_eventset: fake failure");
        strings const& log = fake_counters::current().log;
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), which == call::remove_event ? "remove TLB" : "destroy");
    }
}

TEST(MissCounter, DestructionDuringAnotherFailureKeepsThatFailure)
{
    fake_counters::installed fake;
    fake_counters::current().fail(call::remove_event);
    std::string caught;
    try {
        miss_counter counter;
        counter.start();
        throw std::runtime_error("the sort failed");
    } catch (std::exception const& e) {
        caught = e.what();
    }
    EXPECT_EQ(caught, "the sort failed");
    // The set still counted: it was stopped before its events were taken out.
    EXPECT_EQ(fake_counters::current().log,
              (strings{"create", "add L2", "add TLB", "reset", "start", "stop", "remove TLB"}));
}

TEST(MissCounter, ACounterCutShortLeavesNothingCounting)
{
    fake_counters::installed fake;
    try {
        miss_counter counter;
        counter.start();
        throw std::runtime_error("cut short");
    } catch (std::runtime_error const&) {
    }
    EXPECT_EQ(fake_counters::current().open_sets(), 0);
    // The library lets only one set count at a time, so the next measurement depends on this.
    miss_counter next;
    EXPECT_NO_THROW(next.start());
}

// An experiment counts only the events the machine offers, in the order given.
TEST(MissCounter, CountsAChosenListOfEvents)
{
    fake_counters::installed fake;
    fake_counters::current().l2 = 11;
    fake_counters::current().tlb = 22;
    {
        miss_counter counter({miss_counter::tlb_data_misses});
        counter.start();
        counter.stop();
        EXPECT_EQ(counter.read_values(), (miss_counter::values{22, 0}));
    }
    EXPECT_EQ(fake_counters::current().log,
              (strings{"create", "add DTLB", "reset", "start", "stop", "read", "remove DTLB", "destroy"}));
    EXPECT_THROW(miss_counter({1, 2, 3}), std::invalid_argument);
    EXPECT_EQ(fake_counters::current().open_sets(), 0);
}

TEST(MissCounterInitializer, InstallsTheLibraryOnlyIfItStarts)
{
    fake_counters::installed fake;
    use_counter_library(nullptr);

    fake_counters::current().init_result = fake_counters::version + 1;
    EXPECT_EQ(counter_failure([] { miss_counter::initializer init(fake_counters::library()); }),
              "the library reports version " + std::to_string(fake_counters::version + 1) + ", the program needs " +
                  std::to_string(fake_counters::version));
    EXPECT_EQ(active_counter_library(), nullptr);

    fake_counters::current().init_result = fake_counters::version;
    fake_counters::current().fail(call::library_init, 2);
    EXPECT_EQ(counter_failure([] { miss_counter::initializer init(fake_counters::library()); }), "fake failure");
    EXPECT_EQ(active_counter_library(), nullptr);

    miss_counter::initializer init(fake_counters::library());
    EXPECT_EQ(active_counter_library(), &fake_counters::library());
    EXPECT_EQ(fake_counters::current().log, (strings{"init", "init", "init"}));
}

// A library that cannot start does not end the program: the counters made anyway say why.
TEST(MissCounterInitializer, StartUpWithoutTheLibraryLeavesItsReasonToTheCounters)
{
    fake_counters::installed fake;
    use_counter_library(nullptr);
    fake_counters::current().fail(call::library_init);
    counter_start const failed = start_counter_library(fake_counters::library());
    EXPECT_EQ(failed.library, nullptr);
    EXPECT_EQ(failed.failure, "fake failure");
    EXPECT_EQ(active_counter_library(), nullptr);
    EXPECT_EQ(counter_failure([] { miss_counter counter; }),
              "the counter library could not be initialised: fake failure");

    fake_counters::current().fail_enabled = false;
    counter_start const started = start_counter_library(fake_counters::library());
    EXPECT_EQ(started.library, &fake_counters::library());
    EXPECT_EQ(started.failure, "");
    EXPECT_EQ(active_counter_library(), &fake_counters::library());
}

TEST(MissCounterFragment, WritesBothCountsSignedWithoutBlanks)
{
    std::ostringstream os;
    os << miss_counter::xt{-5, 7, 0, '\t'} << '|' << miss_counter::xt{1, 2, 2, ' '};
    EXPECT_EQ(os.str(), "<l2misses>-5</l2misses><tlbmisses>7</tlbmisses>|  <l2misses>1</l2misses><tlbmisses>2</tlbmisses>");
}

}  // namespace
