#include "tests/support/pattern.hpp"

#include <regex>

namespace test_support {

struct pattern::compiled {
    std::regex expression;
};

pattern::pattern(std::string const& expression) : compiled_(new compiled{std::regex(expression)}) {}
pattern::~pattern() = default;
pattern::pattern(pattern&&) noexcept = default;
pattern& pattern::operator=(pattern&&) noexcept = default;

bool pattern::matches(std::string const& text) const
{
    return std::regex_match(text, compiled_->expression);
}

std::vector<std::string> pattern::groups(std::string const& text) const
{
    std::smatch match;
    if (!std::regex_match(text, match, compiled_->expression)) return {};
    std::vector<std::string> found;
    for (auto const& group : match) found.push_back(group.str());
    return found;
}

std::string escaped(std::string const& text)
{
    return std::regex_replace(text, std::regex(R"([.+*?^$()\[\]{}|\\])"), R"(\$&)");
}

}  // namespace test_support
