#include "localization/resource_texts.h"

#include <atomic>
#include <mutex>
#include <shared_mutex>

#include "core/platform/rwlock.h"
#include "core/text/utf.h"
#include "localization/instance.h"
#include "localization/runtime.h"

namespace localization {

namespace {

struct DomainList {
    core::TMultiReadExclusiveWriteSynchronizer lock;
    std::vector<std::string> names{"default"};
};

// Null before the start-up and after the end: the runtime is not there.
std::atomic<DomainList*> resourceDomains{nullptr};
std::atomic<bool> wideResourceTexts{true};

constexpr int kFirstBufferSize = 1024;

std::u16string LoadWideResource(std::uint32_t id) {
    std::u16string text;
    int buffer = kFirstBufferSize;
    // A text that filled the buffer may have been cut: grow and load again.
    while (core::LoadStringResourceWide(id, text, buffer) >= buffer - 1 && buffer <= (1 << 29)) buffer *= 2;
    return text;
}

}  // namespace

void detail::CreateResourceDomains() {
    if (!resourceDomains.load(std::memory_order_acquire)) resourceDomains.store(new DomainList, std::memory_order_release);
}

void detail::DestroyResourceDomains() { delete resourceDomains.exchange(nullptr, std::memory_order_acq_rel); }

void AddResourceDomain(const std::string& name) {
    DomainList* list = resourceDomains.load(std::memory_order_acquire);
    if (!list) return;  // no runtime: nothing translates built-in texts
    std::unique_lock guard(list->lock);
    list->names.push_back(name);
}

std::vector<std::string> ResourceDomains() {
    DomainList* list = resourceDomains.load(std::memory_order_acquire);
    if (!list) return {};
    std::shared_lock guard(list->lock);
    return list->names;
}

std::u16string TranslateResourceText(std::u16string_view text) {
    DomainList* list = resourceDomains.load(std::memory_order_acquire);
    TGnuGettextInstance* instance = SharedInstance();
    if (!list || !instance) return std::u16string(text);
    std::shared_lock guard(list->lock);
    std::u16string result(text);
    for (const std::string& name : list->names) {
        result = instance->TranslateIn(name, text);
        if (result != text) break;
    }
    return result;
}

std::string TranslatedBuiltInText(const core::BuiltInText* record) {
    if (record == nullptr) return {};
    std::u16string text;
    if (record->identifier >= core::kFirstTextAddress) {
        text = core::Utf8ToUtf16(reinterpret_cast<const char*>(record->identifier));
    } else if (WideResourceTexts()) {
        text = LoadWideResource(static_cast<std::uint32_t>(record->identifier));
    } else {
        std::string narrow;
        core::LoadStringResourceNarrow(static_cast<std::uint32_t>(record->identifier), narrow, kFirstBufferSize);
        text = core::Utf8ToUtf16(narrow);
    }
    return core::Utf16ToUtf8(TranslateResourceText(text));
}

void SetWideResourceTexts(bool wide) { wideResourceTexts.store(wide, std::memory_order_relaxed); }

bool WideResourceTexts() { return wideResourceTexts.load(std::memory_order_relaxed); }

}  // namespace localization
