#include "localization/gettext.h"

#include "core/utf.h"

// Placeholder until the catalog runtime lands: texts come back unchanged.
namespace localization {

std::u16string Translate(std::u16string_view text) { return std::u16string(text); }

std::string TranslateUtf8(std::string_view text) {
    return core::Utf16ToUtf8(Translate(core::Utf8ToUtf16(text)));
}

void AddResourceDomain(const std::string&) {}

}  // namespace localization
