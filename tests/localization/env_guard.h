// Sets locale environment variables for one test and puts them back after it.
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace testcat {

class EnvGuard {
public:
    EnvGuard() {
        for (const char* name : {"LANG", "LC_ALL", "LC_MESSAGES"}) {
            const char* value = std::getenv(name);
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
            ::unsetenv(name);
        }
    }
    ~EnvGuard() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

    void Set(const char* name, const char* value) { ::setenv(name, value, 1); }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace testcat
