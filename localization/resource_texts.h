// Translation of built-in texts through the domains registered for them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/platform/builtin_text.h"
#include "localization/gettext.h"

namespace localization {

// The domains searched for built-in texts, in order: "default" first, then
// every name added with AddResourceDomain (duplicates kept). Exists from the
// runtime's start to its end; empty outside it.
std::vector<std::string> ResourceDomains();

// text translated through ResourceDomains: the first domain whose answer
// differs from text wins. Outside the runtime's life, text itself.
std::u16string TranslateResourceText(std::u16string_view text);

// The runtime's built-in text loader: the same argument and result as
// core::LoadBuiltInText, with the text passed through TranslateResourceText.
// Errors of the translation pass out to the caller.
std::string TranslatedBuiltInText(const core::BuiltInText* record);

// Whether string resources are loaded as wide text, whole (true on this
// platform), or as 8-bit text into a 1024-byte buffer, cut after 1023
// characters. Set by the runtime's start-up; settable for tests.
void SetWideResourceTexts(bool wide);
bool WideResourceTexts();

namespace detail {
// Used by the runtime's start-up and end.
void CreateResourceDomains();
void DestroyResourceDomains();
}  // namespace detail

}  // namespace localization
