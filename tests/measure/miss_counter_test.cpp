#include <cstdlib>
#include <exception>
#include <sstream>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "measure/miss_counter.hpp"
#include "tests/measure/fake_counter_library.hpp"

namespace {

using fake_counters::call;
using strings = std::vector<std::string>;

// Runs f and tells whether it raised exactly a plain std::exception.
template <class F>
bool raises_plain_exception(F f)
{
    try {
        f();
    } catch (std::exception const& e) {
        return typeid(e) == typeid(std::exception);
    }
    return false;
}

TEST(MissCounter, FailsWithoutAnInitialisedLibrary)
{
    fake_counters::installed fake;
    use_counter_library(nullptr);
    EXPECT_TRUE(raises_plain_exception([] { miss_counter counter; }));
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
        strings log;
    };
    std::vector<failing_step> const steps = {
        {call::create_eventset, 1, {"create"}},
        {call::add_event, 1, {"create", "add L2", "destroy"}},
        {call::add_event, 2, {"create", "add L2", "add TLB", "remove L2", "destroy"}},
        {call::reset, 1, {"create", "add L2", "add TLB", "reset", "remove TLB", "remove L2", "destroy"}},
    };
    for (failing_step const& step : steps) {
        fake_counters::installed fake;
        fake_counters::current().fail(step.which, step.occurrence);
        EXPECT_TRUE(raises_plain_exception([] { miss_counter counter; }));
        EXPECT_EQ(fake_counters::current().log, step.log);
        EXPECT_EQ(fake_counters::current().open_sets(), 0);
    }
}

TEST(MissCounter, EveryFailedOperationRaisesAPlainException)
{
    for (call const which : {call::start, call::stop, call::reset, call::read}) {
        fake_counters::installed fake;
        miss_counter counter;
        if (which != call::start) counter.start();
        fake_counters::current().fail(which);
        EXPECT_TRUE(raises_plain_exception([&] {
            switch (which) {
            case call::start: counter.start(); break;
            case call::stop: counter.stop(); break;
            case call::reset: counter.reset(); break;
            default: counter.read(); break;
            }
        })) << static_cast<int>(which);
        fake_counters::current().fail_enabled = false;  // lets the counter go cleanly
    }
}

TEST(MissCounter, DestructionStopsAtTheFirstFailureAndRaises)
{
    for (call const which : {call::remove_event, call::destroy_eventset}) {
        fake_counters::installed fake;
        fake_counters::current().fail(which);
        EXPECT_TRUE(raises_plain_exception([] { miss_counter counter; }));
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
    EXPECT_TRUE(raises_plain_exception([] { miss_counter::initializer init(fake_counters::library()); }));
    EXPECT_EQ(active_counter_library(), nullptr);

    fake_counters::current().init_result = fake_counters::version;
    fake_counters::current().fail(call::library_init, 2);
    EXPECT_TRUE(raises_plain_exception([] { miss_counter::initializer init(fake_counters::library()); }));
    EXPECT_EQ(active_counter_library(), nullptr);

    miss_counter::initializer init(fake_counters::library());
    EXPECT_EQ(active_counter_library(), &fake_counters::library());
    EXPECT_EQ(fake_counters::current().log, (strings{"init", "init", "init"}));
}

TEST(MissCounterInitializer, StartUpEndsTheProcessIfTheLibraryFails)
{
    fake_counters::installed fake;
    fake_counters::current().init_result = fake_counters::version - 1;
    EXPECT_EXIT(start_counter_library(fake_counters::library()), testing::ExitedWithCode(EXIT_FAILURE),
                "counter library could not be initialised");

    fake_counters::current().init_result = fake_counters::version;
    start_counter_library(fake_counters::library());
    EXPECT_EQ(active_counter_library(), &fake_counters::library());
}

TEST(MissCounterFragment, WritesBothCountsSignedWithoutBlanks)
{
    std::ostringstream os;
    os << miss_counter::xt{-5, 7, 0, '\t'} << '|' << miss_counter::xt{1, 2, 2, ' '};
    EXPECT_EQ(os.str(), "<l2misses>-5</l2misses><tlbmisses>7</tlbmisses>|  <l2misses>1</l2misses><tlbmisses>2</tlbmisses>");
}

}  // namespace
