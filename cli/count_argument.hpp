#pragma once
// The count arguments of the command-line programs (datlow's item count, pemmock's megabytes).
// Only plain decimal digits are taken, so that a typo or a number too large for its type is
// refused instead of being read as some other count.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

namespace cli {

// The value of text if it is a plain decimal number no greater than largest: digits only, no
// sign, blank or leading zero (zero itself is "0"). Anything else gives no value.
inline std::optional<std::uint64_t> parse_count(std::string_view text, std::uint64_t largest)
{
    if (text.empty() || (text.size() > 1 && text.front() == '0')) {
        return std::nullopt;
    }
    char const* const end = text.data() + text.size();
    std::uint64_t value = 0;
    // An unsigned target takes no sign, so "-1" and "+1" stop at their first character.
    auto const [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value > largest) {
        return std::nullopt;
    }
    return value;
}

}  // namespace cli
