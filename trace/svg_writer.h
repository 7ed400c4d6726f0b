// Small pieces of SVG written as text: every text that reaches the picture
// goes through SvgText, so whatever a trace holds (pump bytes decoded from
// Windows-1251, bytes that are no UTF-8 at all, control characters) the
// file stays well-formed XML.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cli::svg {

// Valid UTF-8 with markup characters escaped; invalid bytes and characters
// XML does not allow become U+FFFD, line breaks and tabs a space.
std::string SvgText(std::string_view text);

// The text cut to what fits in `widthPx` at `charPx` a character, ending in
// "…" when it was cut; empty when not even that fits.
std::string Fit(std::string_view text, double widthPx, double charPx);
// Characters as the picture shows them.
std::size_t Length(std::string_view text);
// Words wrapped into lines of at most `maxChars` characters; a longer word is cut.
std::vector<std::string> Wrap(std::string_view text, std::size_t maxChars);

std::string Num(double v);

// Elements; `attrs` is written as it is and holds only our own constants.
std::string Rect(double x, double y, double w, double h, std::string_view attrs, std::string_view tooltip = {});
std::string Line(double x1, double y1, double x2, double y2, std::string_view attrs);
std::string Text(double x, double y, std::string_view text, std::string_view attrs);

}  // namespace cli::svg
