#include "core/platform/builtin_text.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "core/platform/rwlock.h"
#include "core/text/utf.h"

namespace core {

namespace {

// Resource numbers of the class library's own texts.
enum : std::uint32_t {
    kFOpenError = 65000,
    kFCreateError,
    kMemoCapacity,
    kOSError,
    kUnkOSError,
    kListIndexError,
    kDuplicateString,
    kAssignError,
    kInvalidInteger,
    kRegSetDataFailed,
    kRegGetDataFailed,
    kInvalidRegType,
    kIniFileWriteError,
    kReadError,
    kOutOfResources,
};

struct ResourceTable {
    TMultiReadExclusiveWriteSynchronizer lock;
    std::map<std::uint32_t, std::string> texts{
        {kFOpenError, "Cannot open file %s"},
        {kFCreateError, "Cannot create file %s"},
        {kMemoCapacity, "Text exceeds memo capacity"},
        {kOSError, "System Error.  Code: %d.\n%s"},
        {kUnkOSError, "A call to an OS function failed"},
        {kListIndexError, "List index out of bounds (%d)"},
        {kDuplicateString, "String list does not allow duplicates"},
        {kAssignError, "Cannot assign a %s to a %s"},
        {kInvalidInteger, "'%s' is not a valid integer value"},
        {kRegSetDataFailed, "Failed to set data for '%s'"},
        {kRegGetDataFailed, "Failed to get data for '%s'"},
        {kInvalidRegType, "Invalid data type for '%s'"},
        {kIniFileWriteError, "Unable to write to %s"},
        {kReadError, "Stream read error"},
        {kOutOfResources, "Out of system resources"},
    };
};

ResourceTable& Table() {
    static ResourceTable table;
    return table;
}

std::atomic<BuiltInTextLoader> currentLoader{nullptr};

bool Lookup(std::uint32_t id, std::string& text) {
    auto& t = Table();
    std::shared_lock guard(t.lock);
    auto it = t.texts.find(id);
    if (it == t.texts.end()) return false;
    text = it->second;
    return true;
}

}  // namespace

const BuiltInText SFOpenError{kFOpenError};
const BuiltInText SFCreateError{kFCreateError};
const BuiltInText SMemoCapacity{kMemoCapacity};
const BuiltInText SOSError{kOSError};
const BuiltInText SUnkOSError{kUnkOSError};
const BuiltInText SListIndexError{kListIndexError};
const BuiltInText SDuplicateString{kDuplicateString};
const BuiltInText SAssignError{kAssignError};
const BuiltInText SInvalidInteger{kInvalidInteger};
const BuiltInText SRegSetDataFailed{kRegSetDataFailed};
const BuiltInText SRegGetDataFailed{kRegGetDataFailed};
const BuiltInText SInvalidRegType{kInvalidRegType};
const BuiltInText SIniFileWriteError{kIniFileWriteError};
const BuiltInText SReadError{kReadError};
const BuiltInText SOutOfResources{kOutOfResources};

std::string LoadBuiltInText(const BuiltInText* record) {
    BuiltInTextLoader loader = currentLoader.load(std::memory_order_acquire);
    return loader ? loader(record) : LoadBuiltInTextUntranslated(record);
}

std::string LoadBuiltInTextUntranslated(const BuiltInText* record) {
    if (record == nullptr) return {};
    if (record->identifier >= kFirstTextAddress)
        return std::string(reinterpret_cast<const char*>(record->identifier));
    std::string text;
    Lookup(static_cast<std::uint32_t>(record->identifier), text);
    return text;
}

BuiltInTextLoader ReplaceBuiltInTextLoader(BuiltInTextLoader loader) {
    return currentLoader.exchange(loader, std::memory_order_acq_rel);
}

void RegisterStringResource(std::uint32_t id, std::string text) {
    auto& t = Table();
    std::unique_lock guard(t.lock);
    t.texts[id] = std::move(text);
}

bool HasStringResource(std::uint32_t id) {
    std::string ignored;
    return Lookup(id, ignored);
}

int LoadStringResourceWide(std::uint32_t id, std::u16string& out, int bufferChars) {
    out.clear();
    std::string text;
    if (bufferChars <= 0 || !Lookup(id, text)) return 0;
    std::u16string wide = Utf8ToUtf16(text);
    size_t n = std::min(wide.size(), static_cast<size_t>(bufferChars - 1));
    out.assign(wide, 0, n);
    return static_cast<int>(n);
}

int LoadStringResourceNarrow(std::uint32_t id, std::string& out, int bufferBytes) {
    out.clear();
    std::string text;
    if (bufferBytes <= 0 || !Lookup(id, text)) return 0;
    size_t n = std::min(text.size(), static_cast<size_t>(bufferBytes - 1));
    out.assign(text, 0, n);
    return static_cast<int>(n);
}

}  // namespace core
