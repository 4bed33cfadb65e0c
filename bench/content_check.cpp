#include "bench/content_check.hpp"

#include <sstream>

expected_content expected_content::of(element const* first, element const* last)
{
    expected_content e;
    if (first != last) e.key_sum = *first;
    for (element const* i = first; i != last; ++i) {
        if (i != first) e.key_sum.key += i->key;
        e.content.add(*i);
    }
    return e;
}

std::string output_check::verdict() const
{
    std::ostringstream findings;
    char const* separator = "";
    auto finding = [&]() -> std::ostream& {
        findings << separator;
        separator = "; ";
        return findings;
    };
    if (tally_.out_of_order != 0) finding() << tally_.out_of_order << " elements out of order";
    if (tally_.content.count != expected_.content.count) {
        finding() << "element count " << tally_.content.count << " != " << expected_.content.count;
    }
    if (stream_.sum.key != expected_.key_sum.key) {
        finding() << "key checksum " << stream_.sum << " != " << expected_.key_sum;
    }
    if (!tally_.content.same_content(expected_.content)) {
        finding() << "content checksum " << tally_.content.mix_sum << '/' << tally_.content.mix_xor
                  << " != " << expected_.content.mix_sum << '/' << expected_.content.mix_xor;
    }
    std::string const text = findings.str();
    return text.empty() ? "ok" : text;
}
