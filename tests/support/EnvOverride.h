#pragma once
// Sets (or clears) an environment variable for the length of a scope.
#include <cstdlib>
#include <optional>
#include <string>

namespace nocturo::test {

class EnvOverride {
public:
    EnvOverride(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    // nullptr: unset for the scope.
    EnvOverride(const char* name, const char* value)
        : EnvOverride(name, value ? std::optional<std::string>(value) : std::nullopt) {}
    ~EnvOverride() {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace nocturo::test
