#include "bench/content_check.hpp"

#include <sstream>
#include <type_traits>

template <class T>
expected_content_of<T> expected_content_of<T>::of(T const* first, T const* last)
{
    expected_content_of e;
    if constexpr (std::is_same<T, element>::value) {
        if (first != last) e.key_sum = *first;
    }
    for (T const* i = first; i != last; ++i) {
        if constexpr (std::is_same<T, element>::value) {
            if (i != first) e.key_sum.key += i->key;
        }
        e.content.add(*i);
    }
    return e;
}

template <class T>
std::string output_check_of<T>::verdict() const
{
    std::ostringstream findings;
    char const* separator = "";
    auto finding = [&]() -> std::ostream& {
        findings << separator;
        separator = "; ";
        return findings;
    };
    if (stream_.out_of_order != 0) finding() << stream_.out_of_order << " elements out of order";
    if (tally_.content.count != expected_.content.count) {
        finding() << "element count " << tally_.content.count << " != " << expected_.content.count;
    }
    if constexpr (std::is_same<T, element>::value) {
        if (stream_.sum.key != expected_.key_sum.key) {
            finding() << "key checksum " << stream_.sum << " != " << expected_.key_sum;
        }
    }
    if (!tally_.content.same_content(expected_.content)) {
        finding() << "content checksum " << tally_.content.mix_sum << '/' << tally_.content.mix_xor
                  << " != " << expected_.content.mix_sum << '/' << expected_.content.mix_xor;
    }
    std::string const text = findings.str();
    return text.empty() ? "ok" : text;
}

template struct expected_content_of<element>;
template struct expected_content_of<int>;
template struct expected_content_of<record>;
template class output_check_of<element>;
template class output_check_of<int>;
template class output_check_of<record>;
