// Start-up and end of the localization runtime, called from main.
#pragma once

#include <string>

namespace localization {

class TAssemblyAnalyzer;
class TGnuGettextInstance;

// Starts the runtime, in this order: remembers the executable path, scans the
// executable for embedded files, creates ResourceDomains holding "default",
// creates SharedInstance (language from the environment, domain "default"
// bound to <executable directory>/locale, text domain "default"), then sets
// the wide-text flag and makes the built-in text loader translate. No catalog
// is opened here. A second call while the runtime runs does nothing.
void StartRuntime();
// Ends it in reverse: SharedInstance (closing every catalog), ResourceDomains,
// the loader that was in force before StartRuntime, the embedded-file
// directory, the executable path. Built-in texts loaded afterwards come back
// untranslated. Call only when no other thread translates any more.
void EndRuntime();
bool RuntimeStarted();

// Both null outside the runtime's life.
TGnuGettextInstance* SharedInstance();
const TAssemblyAnalyzer* AssemblyAnalyzer();
// The running program's full path; empty outside the runtime's life.
std::string ExecutablePath();

// Starts the runtime for the life of a scope.
class RuntimeScope {
public:
    RuntimeScope() { StartRuntime(); }
    ~RuntimeScope() { EndRuntime(); }
    RuntimeScope(const RuntimeScope&) = delete;
    RuntimeScope& operator=(const RuntimeScope&) = delete;
};

}  // namespace localization
