#include <climits>
#include <cstdint>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "items/element.hpp"
#include "items/factory.hpp"
#include "items/record.hpp"

namespace {

record record_of(std::string const& prefix)
{
    record r{};
    prefix.copy(r.bytes, prefix.size());
    return r;
}

std::string printed(element const& e)
{
    std::ostringstream os;
    os << e;
    return os.str();
}

TEST(Element, OrderLooksAtTheUnsignedKeyOnly)
{
    element a{5, nullptr};
    element b{5, &a};
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(b < a);

    element small{1, nullptr};
    element huge{std::numeric_limits<std::uint64_t>::max(), nullptr};
    EXPECT_TRUE(small < huge);
    EXPECT_FALSE(huge < small);
}

TEST(Element, DefaultIsZeroKeyAndNullPayload)
{
    element const* array = new element[3];
    EXPECT_EQ(array[2].key, 0u);
    EXPECT_EQ(array[2].payload, nullptr);
    delete[] array;
}

TEST(Element, PrintsKeyAndPayloadPointer)
{
    int target = 0;
    element const e{7, &target};
    std::ostringstream pointer;
    pointer << static_cast<void const*>(&target);
    EXPECT_EQ(printed(e), "(7," + pointer.str() + ")");
    EXPECT_EQ(printed(factory<element>::from_scalar(0)), "(0,0xbaadf00d)");
}

TEST(Record, ComparesBytesUnsignedUpToTheFirstCommonZero)
{
    EXPECT_TRUE(record_of("abc") < record_of("abd"));
    EXPECT_FALSE(record_of("abd") < record_of("abc"));

    record low = record_of("x");
    record high = record_of("x");
    low.bytes[1] = static_cast<char>(100);
    high.bytes[1] = static_cast<char>(200);
    EXPECT_TRUE(low < high);

    record a = record_of("same");
    record b = record_of("same");
    a.bytes[50] = 'a';
    b.bytes[50] = 'z';
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(b < a);

    record zero_first = record_of("");
    zero_first.bytes[1] = 'q';
    EXPECT_FALSE(zero_first < record_of(""));
    EXPECT_FALSE(record_of("") < zero_first);
}

TEST(Record, PrintsAllHundredBytesRaw)
{
    record r = record_of("hi");
    std::ostringstream os;
    os << r;
    std::string const text = os.str();
    ASSERT_EQ(text.size(), 102u);
    EXPECT_EQ(text.front(), '[');
    EXPECT_EQ(text.back(), ']');
    EXPECT_EQ(text.substr(1, 2), "hi");
    EXPECT_EQ(text[3], '\0');
}

TEST(Factory, EdgeScalars)
{
    EXPECT_EQ(factory<unsigned long>::from_scalar(0), 0ul);
    EXPECT_EQ(factory<unsigned long>::from_scalar(0.5), 1ul << 63);
    EXPECT_EQ(factory<unsigned long>::from_scalar(1), ULONG_MAX);
    EXPECT_EQ(factory<unsigned long>::from_scalar(0.75), 3ul << 62);

    EXPECT_EQ(factory<int>::from_scalar(0), INT_MIN);
    EXPECT_EQ(factory<int>::from_scalar(0.5), -1);
    EXPECT_EQ(factory<int>::from_scalar(1), INT_MAX);

    element const zero = factory<element>::from_scalar(0);
    EXPECT_EQ(zero.key, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(zero.payload), 0xbaadf00du);
    EXPECT_EQ(factory<element>::from_scalar(0.5).key, 1ul << 63);
    EXPECT_EQ(factory<element>::from_scalar(1).key, std::numeric_limits<std::uint64_t>::max());
}

TEST(Factory, RecordIsTheBase255Expansion)
{
    auto byte = [](record const& r, int i) { return static_cast<unsigned char>(r.bytes[i]); };

    record const zero = factory<record>::from_scalar(0);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(byte(zero, i), 0) << i;

    record const half = factory<record>::from_scalar(0.5);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(byte(half, i), 127) << i;

    record const quarter = factory<record>::from_scalar(0.25);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(byte(quarter, i), i % 2 == 0 ? 63 : 191) << i;

    record const one = factory<record>::from_scalar(1);
    EXPECT_EQ(byte(one, 0), 255);
    for (int i = 1; i < 100; ++i) EXPECT_EQ(byte(one, i), 0) << i;

    EXPECT_TRUE(factory<record>::from_scalar(0.25) < factory<record>::from_scalar(0.5));
}

TEST(Factory, RefusesScalarsOutsideTheUnitInterval)
{
    double const below = -1e-12;
    double const above = 1 + 1e-12;
    double const nan = std::numeric_limits<double>::quiet_NaN();
    for (double s : {below, above, nan}) {
        try {
            factory<element>::from_scalar(s);
            ADD_FAILURE() << "accepted " << s;
        } catch (std::invalid_argument const& e) {
            EXPECT_STREQ(e.what(), "scalar must be positive and less than one");
        }
        EXPECT_THROW(factory<record>::from_scalar(s), std::invalid_argument);
        EXPECT_THROW(factory<int>::from_scalar(s), std::invalid_argument);
        EXPECT_THROW(factory<unsigned long>::from_scalar(s), std::invalid_argument);
    }
}

}  // namespace
