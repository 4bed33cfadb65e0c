#include <string>

#include <gtest/gtest.h>

#include "bench/xml_text.hpp"

namespace {

std::string const fffd = "\xEF\xBF\xBD";

TEST(XmlText, EscapesMarkupAndKeepsWellFormedText)
{
    EXPECT_EQ(xml_text("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e'f");
    // Two-, three- and four-byte characters, tab, line feed and carriage return pass unchanged.
    std::string const kept = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\t\n\r";
    EXPECT_EQ(xml_text(kept), kept);
    EXPECT_EQ(xml_text(""), "");
}

TEST(XmlText, ReplacesEveryByteADocumentCannotHold)
{
    struct replaced {
        std::string in;
        std::string out;
    };
    for (replaced const& c : {
             replaced{std::string("a\0b", 3), "a" + fffd + "b"},  // control bytes
             {"\x01\x1B\x7F", fffd + fffd + fffd},
             {"\x80x", fffd + "x"},                 // a stray continuation byte
             {"\xC0\xAF", fffd + fffd},             // an overlong '/'
             {"\xE0\x80\x80", fffd + fffd + fffd},  // an overlong three-byte form
             {"\xED\xA0\x80", fffd + fffd + fffd},  // a surrogate
             {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // past U+10FFFF
             {"\xE2\x82", fffd + fffd},             // cut short at the end
             {"\xC3(", fffd + "("},                 // cut short by another character
             {"\xEF\xBF\xBF", fffd},                // a non-character
             {"\xFF<", fffd + "&lt;"},
         }) {
        EXPECT_EQ(xml_text(c.in), c.out) << c.in;
    }
}

}  // namespace
