// The little JSON the companion reads and writes: flat objects of strings,
// numbers and booleans, one a line in traces.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace cli {

// The text as a JSON string literal, quotes included; `text` is UTF-8.
std::string JsonString(const std::string& text);

// One flat JSON object. Values keep their JSON form: strings unquoted and
// unescaped, numbers and booleans as written.
using JsonObject = std::map<std::string, std::string>;

// Parses one line holding a flat object; nullopt when it is not one.
std::optional<JsonObject> ParseFlatObject(const std::string& line);

}  // namespace cli
