#include "bench/xml_text.hpp"

#include <cstdint>

namespace {

char const* const replacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence at the start of text (1 to 4), or 0 if there is
// none: a stray continuation byte, an overlong form, a surrogate, a value past U+10FFFF or a
// sequence cut short.
std::size_t sequence_length(std::string_view text)
{
    auto const byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    std::uint8_t const lead = byte(0);
    std::size_t length = 0;
    // The range the second byte must lie in; the later ones are plain continuation bytes.
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

bool is_disallowed_control(char c)
{
    auto const byte = static_cast<std::uint8_t>(c);
    return (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F;
}

}  // namespace

std::string xml_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        std::size_t const length = sequence_length(text);
        if (length == 0) {
            out += replacement;
            text.remove_prefix(1);
            continue;
        }
        std::string_view const character = text.substr(0, length);
        text.remove_prefix(length);
        if (character == "\xEF\xBF\xBE" || character == "\xEF\xBF\xBF") {
            out += replacement;
            continue;
        }
        switch (character.front()) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (is_disallowed_control(character.front())) {
                out += replacement;
            } else {
                out += character;
            }
        }
    }
    return out;
}
