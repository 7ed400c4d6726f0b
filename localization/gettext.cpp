#include "localization/gettext.h"

#include "core/text/utf.h"
#include "localization/instance.h"
#include "localization/runtime.h"

namespace localization {

std::u16string Translate(std::u16string_view text) {
    if (TGnuGettextInstance* instance = SharedInstance()) return instance->Translate(text);
    // No runtime: the same result as a runtime without any catalog.
    std::u16string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') continue;
        if (text[i] == u'\n') result += u'\r';
        result += text[i];
    }
    return result;
}

std::string TranslateUtf8(std::string_view text) {
    return core::Utf16ToUtf8(Translate(core::Utf8ToUtf16(text)));
}

}  // namespace localization
