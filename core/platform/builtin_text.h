// Built-in texts: the messages this layer raises, kept as records and always
// loaded through one replaceable loader, so that a translation layer can take
// the loader's place without touching the code that raises the messages.
#pragma once

#include <cstdint>
#include <string>

namespace core {

// A record names its text by identifier: below 0x10000 it is the number of a
// string resource (see RegisterStringResource); from 0x10000 on it is the
// address of a zero-terminated 8-bit (UTF-8) text.
struct BuiltInText {
    std::uintptr_t identifier;
};

constexpr std::uintptr_t kFirstTextAddress = 0x10000;

// The loader in force. Records may be null: the loader then returns "".
using BuiltInTextLoader = std::string (*)(const BuiltInText*);

// Loads a built-in text through the loader in force.
std::string LoadBuiltInText(const BuiltInText* record);

// The untranslated loader: the text as built in.
std::string LoadBuiltInTextUntranslated(const BuiltInText* record);

// Installs a loader (null restores the untranslated one) and returns the one
// that was in force. Safe against concurrent LoadBuiltInText calls.
BuiltInTextLoader ReplaceBuiltInTextLoader(BuiltInTextLoader loader);

// String resources. Texts are UTF-8; registering an existing number replaces it.
void RegisterStringResource(std::uint32_t id, std::string text);
bool HasStringResource(std::uint32_t id);
// Copies resource `id` as UTF-16 into a buffer of `bufferChars` characters the
// way the platform's resource loader does: at most bufferChars - 1 characters
// and a terminating zero. Returns the number of characters copied (0 for an
// unknown resource). `out` receives exactly the copied characters.
int LoadStringResourceWide(std::uint32_t id, std::u16string& out, int bufferChars);
// The same as 8-bit text: at most bufferBytes - 1 bytes.
int LoadStringResourceNarrow(std::uint32_t id, std::string& out, int bufferBytes);

// The built-in texts of the class library.
extern const BuiltInText SFOpenError;         // "Cannot open file %s"
extern const BuiltInText SFCreateError;       // "Cannot create file %s"
extern const BuiltInText SMemoCapacity;       // "Text exceeds memo capacity"
extern const BuiltInText SOSError;            // "System Error.  Code: %d.\n%s"
extern const BuiltInText SUnkOSError;         // "A call to an OS function failed"
extern const BuiltInText SListIndexError;     // "List index out of bounds (%d)"
extern const BuiltInText SDuplicateString;    // "String list does not allow duplicates"
extern const BuiltInText SAssignError;        // "Cannot assign a %s to a %s"
extern const BuiltInText SInvalidInteger;     // "'%s' is not a valid integer value"
extern const BuiltInText SRegSetDataFailed;   // "Failed to set data for '%s'"
extern const BuiltInText SRegGetDataFailed;   // "Failed to get data for '%s'"
extern const BuiltInText SInvalidRegType;     // "Invalid data type for '%s'"
extern const BuiltInText SIniFileWriteError;  // "Unable to write to %s"
extern const BuiltInText SReadError;          // "Stream read error"
extern const BuiltInText SOutOfResources;     // "Out of system resources"

}  // namespace core
