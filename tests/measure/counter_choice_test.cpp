#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "measure/counter_choice.hpp"
#include "tests/measure/fake_counter_library.hpp"

namespace {

using fake_counters::call;
using strings = std::vector<std::string>;

constexpr int l2 = miss_counter::l2_data_cache_misses;
constexpr int tlb = miss_counter::tlb_misses;
constexpr int dtlb = miss_counter::tlb_data_misses;

counter_choice automatic() { return choose_counters(counter_mode::automatic, &fake_counters::library()); }

TEST(CounterChoice, PapiAsksForBothFixedEventsWithoutLookingThemUp)
{
    fake_counters::installed fake;
    fake_counters::current().offered = {};
    counter_choice const choice = choose_counters(counter_mode::papi, &fake_counters::library());
    EXPECT_EQ(choice.events(), (miss_counter::event_list{l2, tlb}));
    EXPECT_TRUE(fake_counters::current().log.empty());
}

TEST(CounterChoice, NoneCountsNothingAndCallsNothing)
{
    fake_counters::installed fake;
    counter_choice const choice = choose_counters(counter_mode::none, &fake_counters::library());
    EXPECT_TRUE(choice.events().empty());
    for (counter_slot const& slot : choice.slots) {
        EXPECT_FALSE(slot.counted);
        EXPECT_EQ(slot.reason, "not requested");
    }
    EXPECT_TRUE(fake_counters::current().log.empty());
}

TEST(CounterChoice, AutoTriesWhatIsOfferedOnceAndReleasesTheTrialSet)
{
    fake_counters::installed fake;
    counter_choice const choice = automatic();
    EXPECT_EQ(choice.events(), (miss_counter::event_list{l2, tlb}));
    EXPECT_EQ(fake_counters::current().log,
              (strings{"query L2", "query TLB", "create", "add L2", "add TLB", "start", "stop", "remove TLB", "remove L2",
                       "destroy"}));
    EXPECT_EQ(fake_counters::current().open_sets(), 0);
}

// Recent processors lack the total TLB preset and offer the data TLB one instead.
TEST(CounterChoice, AutoTakesTheDataTlbWhereTheTotalIsMissing)
{
    fake_counters::installed fake;
    fake_counters::current().offered = {l2, dtlb};
    counter_choice const choice = automatic();
    EXPECT_EQ(choice.events(), (miss_counter::event_list{l2, dtlb}));
    EXPECT_EQ(choice.slots[counter_choice::tlb_slot].event, dtlb);
    EXPECT_TRUE(choice.slots[counter_choice::tlb_slot].counted);
}

TEST(CounterChoice, AutoReportsWhatIsMissingWithTheLibrarysReason)
{
    fake_counters::installed fake;
    fake_counters::current().offered = {dtlb};
    counter_choice choice = automatic();
    counter_slot const& l2_slot = choice.slots[counter_choice::l2_slot];
    EXPECT_FALSE(l2_slot.counted);
    EXPECT_EQ(l2_slot.reason, "Event does not exist");
    EXPECT_EQ(choice.events(), (miss_counter::event_list{dtlb}));
    EXPECT_EQ(choice.slot_of_event(0), counter_choice::tlb_slot);

    // A machine without any counter (a typical virtual machine) makes no event set at all.
    fake_counters::current() = fake_counters::state{};
    fake_counters::current().offered = {};
    choice = automatic();
    EXPECT_TRUE(choice.events().empty());
    for (counter_slot const& slot : choice.slots) EXPECT_EQ(slot.reason, "Event does not exist");
    EXPECT_EQ(choice.slots[counter_choice::tlb_slot].event, dtlb);  // the last one tried
    EXPECT_EQ(fake_counters::current().log, (strings{"query L2", "query TLB", "query DTLB"}));
}

// An event the library knows may still fail to be added or to count; it is then left out with
// the reason of the failing call, and the trial set is given back.
TEST(CounterChoice, AutoLeavesOutWhatFailsInTheTrial)
{
    struct failing_step {
        call which;
        int occurrence;
        strings counted;  // quantities still counted
    };
    std::vector<failing_step> const steps = {
        {call::create_eventset, 1, {}},
        {call::add_event, 1, {"tlbmisses"}},
        {call::add_event, 2, {"l2misses"}},
        {call::start, 1, {}},
        {call::stop, 1, {}},
    };
    for (failing_step const& step : steps) {
        fake_counters::installed fake;
        fake_counters::current().fail(step.which, step.occurrence);
        counter_choice const choice = automatic();
        strings counted;
        for (counter_slot const& slot : choice.slots) {
            if (slot.counted) {
                counted.push_back(slot.quantity);
            } else {
                EXPECT_EQ(slot.reason, "fake failure") << slot.quantity;
            }
        }
        EXPECT_EQ(counted, step.counted) << static_cast<int>(step.which) << '/' << step.occurrence;
        EXPECT_EQ(fake_counters::current().open_sets(), 0);
    }
}

TEST(CounterChoice, SaysWhetherTheMachineIsVirtual)
{
    fake_counters::installed fake;
    fake_counters::current().virtualized = 1;
    EXPECT_EQ(automatic().machine, virtualization::yes);
    fake_counters::current().virtualized = 0;
    EXPECT_EQ(choose_counters(counter_mode::none, &fake_counters::library()).machine, virtualization::no);
    fake_counters::current().virtualized = -1;
    EXPECT_EQ(automatic().machine, virtualization::unknown);
}

TEST(CounterChoice, WithoutALibraryNothingIsCounted)
{
    counter_choice const choice = choose_counters(counter_mode::automatic, nullptr);
    EXPECT_TRUE(choice.events().empty());
    EXPECT_EQ(choice.machine, virtualization::unknown);
    EXPECT_EQ(choice.slots[counter_choice::l2_slot].reason, "the counter library is not initialised");
}

// Simulated counts come from another process: no event set here, no library call, and names
// that cannot pass for hardware events.
TEST(CounterChoice, SimulatedCountsTheLevelTwoCacheAndNoTlbWithoutTheLibrary)
{
    fake_counters::installed fake;
    counter_choice const choice = choose_counters(counter_mode::simulated, &fake_counters::library());
    EXPECT_TRUE(choice.events().empty());
    EXPECT_TRUE(fake_counters::current().log.empty());
    counter_slot const& l2_slot = choice.slots[counter_choice::l2_slot];
    counter_slot const& tlb_slot = choice.slots[counter_choice::tlb_slot];
    EXPECT_TRUE(l2_slot.counted);
    EXPECT_STREQ(event_name(l2_slot.event), "simulated_L2_DCM");
    EXPECT_FALSE(tlb_slot.counted);
    EXPECT_STREQ(event_name(tlb_slot.event), "simulated_TLB");
    EXPECT_EQ(tlb_slot.reason, "the cache simulator models no TLB");
    EXPECT_STREQ(event_name(simulated_l1_data_misses), "simulated_L1_DCM");
}

TEST(CounterChoice, NamesTheEventsAsTheLibraryDoes)
{
    EXPECT_STREQ(event_name(l2), "PAPI_L2_DCM");
    EXPECT_STREQ(event_name(tlb), "PAPI_TLB_TL");
    EXPECT_STREQ(event_name(dtlb), "PAPI_TLB_DM");
}

}  // namespace
