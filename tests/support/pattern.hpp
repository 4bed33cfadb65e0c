#pragma once
// A regular expression for the tests that read reports line by line. <regex> costs every file that
// instantiates it seconds of compile time (more under the sanitizers), so only pattern.cpp includes
// it and the tests share its one compiled copy.

#include <memory>
#include <string>
#include <vector>

namespace test_support {

class pattern {
public:
    // expression: ECMAScript syntax, as std::regex takes it.
    explicit pattern(std::string const& expression);
    ~pattern();
    pattern(pattern&&) noexcept;
    pattern& operator=(pattern&&) noexcept;

    // Whether the whole of text matches.
    bool matches(std::string const& text) const;

    // The whole text and then each group of the expression, when the whole of text matches; empty
    // when it does not.
    std::vector<std::string> groups(std::string const& text) const;

private:
    struct compiled;
    std::unique_ptr<compiled> compiled_;
};

// text with every character that an expression treats specially escaped, so it matches itself.
std::string escaped(std::string const& text);

}  // namespace test_support
