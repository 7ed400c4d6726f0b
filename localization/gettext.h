// The translation service as the rest of the program calls it.
#pragma once

#include <string>
#include <string_view>

namespace localization {

// Translation of `text` in the current text domain ("default"). Before the
// runtime has started, or without a catalog, the text comes back unchanged
// apart from the line-end treatment. May raise core::Exception (a broken
// catalog, or a translation that is not valid UTF-8).
std::u16string Translate(std::u16string_view text);
// UTF-8 convenience form of Translate.
std::string TranslateUtf8(std::string_view text);

// Appends a domain to the ones searched for built-in texts (ResourceDomains).
// Outside the runtime's life there is no such list and the call does nothing.
void AddResourceDomain(const std::string& name);

}  // namespace localization
