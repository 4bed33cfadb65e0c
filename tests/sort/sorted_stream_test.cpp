#include "sort/sorted_stream.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "items/element.hpp"
#include "tests/support/process.hpp"

namespace {

element make(std::uint64_t key, std::uintptr_t payload = 0)
{
    element e;
    e.key = key;
    e.payload = reinterpret_cast<void*>(payload);
    return e;
}

// Writes the elements through a fresh iterator, one assignment and one increment each, and
// returns the advanced iterator together with what went to standard error.
struct written {
    sorted_stream<element>::iterator end;
    std::string errors;
};

written write_all(sorted_stream<element>& s, std::vector<element> const& items)
{
    testing::internal::CaptureStderr();
    auto it = std::copy(items.begin(), items.end(), sorted_stream<element>::iterator(&s));
    return {it, testing::internal::GetCapturedStderr()};
}

TEST(sorted_stream, starts_zeroed)
{
    sorted_stream<element> s;
    for (element const* e : {&s.prev, &s.cur, &s.sum}) {
        EXPECT_EQ(e->key, 0u);
        EXPECT_EQ(e->payload, nullptr);
    }
}

TEST(sorted_stream, first_element_sets_sum_with_its_payload)
{
    sorted_stream<element> s;
    written const w = write_all(s, {make(7, 0x10), make(9, 0x20)});
    EXPECT_EQ(w.errors, "");
    EXPECT_EQ(s.sum.key, 16u);
    EXPECT_EQ(s.sum.payload, reinterpret_cast<void*>(0x10));
    EXPECT_EQ(s.prev.key, 9u);
    EXPECT_EQ(w.end.count, 2);
}

TEST(sorted_stream, reports_a_descent_once_and_compares_on_from_the_smaller_element)
{
    sorted_stream<element> s;
    written const w = write_all(s, {make(5, 0x1), make(3, 0x2), make(4, 0x3)});
    std::ostringstream expected;
    expected << "Elements 1 and 2 out of order: " << make(5, 0x1) << '>' << make(3, 0x2) << '\n';
    EXPECT_EQ(w.errors, expected.str());
    EXPECT_EQ(s.sum.key, 12u);
    EXPECT_EQ(w.end.count, 3);
}

TEST(sorted_stream, equal_keys_are_in_order)
{
    sorted_stream<element> s;
    written const w = write_all(s, {make(2, 0x9), make(2, 0x8), make(2, 0x7), make(3)});
    EXPECT_EQ(w.errors, "");
    EXPECT_EQ(s.sum.key, 9u);
}

TEST(sorted_stream, sum_wraps_modulo_two_to_the_64)
{
    std::uint64_t const top = UINT64_MAX - 1;
    sorted_stream<element> s;
    written const w = write_all(s, {make(top), make(top), make(UINT64_MAX)});
    EXPECT_EQ(w.errors, "");
    EXPECT_EQ(s.sum.key, UINT64_MAX - 4);  // -2 - 2 - 1 modulo 2^64, the wrap the input checksum makes too
}

TEST(sorted_stream, the_count_lives_in_the_iterator_value)
{
    sorted_stream<element> s;
    sorted_stream<element>::iterator start(&s);
    *start = make(1);
    auto copy = start;
    ++copy;
    EXPECT_EQ(start.count, 0);
    EXPECT_EQ(copy.count, 1);
    // A writer that goes on with a stale value restarts the stream: the next element counts as
    // the first one again and replaces the checksum.
    *start = make(4);
    ++start;
    EXPECT_EQ(s.sum.key, 4u);
}

TEST(sorted_stream, assignment_alone_accepts_nothing)
{
    sorted_stream<element> s;
    sorted_stream<element>::iterator it(&s);
    *it = make(3);
    EXPECT_EQ(s.cur.key, 3u);
    EXPECT_EQ(s.sum.key, 0u);
    EXPECT_EQ(it.count, 0);
}

TEST(sorted_stream, later_descents_are_reported_with_their_positions)
{
    sorted_stream<element> s;
    written const w = write_all(s, {make(1), make(2), make(3), make(9), make(4), make(0)});
    std::vector<std::string> const lines = test_support::lines_of(w.errors);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Elements 4 and 5 out of order: (9,", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("Elements 5 and 6 out of order: (4,", 0), 0u) << lines[1];
}

}  // namespace
