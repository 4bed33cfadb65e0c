#pragma once
// Text as it may stand in an XML document, in an attribute value or between tags. Every value of
// a report that is not fixed when the program is built (host and system names, paths, error
// texts) passes through here.

#include <string>
#include <string_view>

// & < > and " as &amp; &lt; &gt; &quot;. A byte that does not belong to well-formed UTF-8, a
// control character other than tab, line feed and carriage return, and the non-characters
// U+FFFE and U+FFFF, none of which a document may hold, become U+FFFD, one for each such byte
// (or character).
std::string xml_text(std::string_view text);
