#pragma once
// What a failed call into the counter library raises. Its what() is that of a plain
// std::exception, the text the benchmark's own report shows for such a failure; reason() holds
// the call and the library's own description of what went wrong, for reports that say why.

#include <exception>
#include <string>
#include <utility>

class counter_error : public std::exception {
public:
    explicit counter_error(std::string reason) : reason_(std::move(reason)) {}
    std::string const& reason() const noexcept { return reason_; }

private:
    std::string reason_;
};
