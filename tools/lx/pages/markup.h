// The one way the pages write HTML and SVG: element and attribute names come
// from the code, every text and attribute value goes through escape, so no
// file name or channel title can end an element or a quoted value.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace lxtool::markup {

// Text safe inside an element or a quoted attribute: & < > " ' as entities,
// tab, newline and carriage return as character references, the other control
// characters and bytes that are not UTF-8 as U+FFFD, which XML allows.
std::string escape(std::string_view text);

// value with decimals places ("0", never "-0"); no fixed buffer, so any double fits.
std::string number(double value, int decimals);

struct Attribute {
    std::string_view name;
    std::string value; // escaped when written
};
inline Attribute attr(std::string_view name, std::string value) {
    return {name, std::move(value)};
}
inline Attribute attr(std::string_view name, double value, int decimals) {
    return {name, number(value, decimals)};
}
using Attributes = std::initializer_list<Attribute>;

// <name a='v'>, </name> and <name a='v'/> (SVG elements and HTML void ones).
std::string start(std::string_view name, Attributes attributes = {});
std::string end(std::string_view name);
std::string empty(std::string_view name, Attributes attributes = {});
// An element holding text, escaped.
std::string text(std::string_view name, Attributes attributes, std::string_view content);
// An element holding markup these functions wrote.
std::string element(std::string_view name, Attributes attributes, std::string_view children);

} // namespace lxtool::markup
