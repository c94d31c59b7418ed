// Reading the program's environment variables.
#include "platform/environment.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace platform {

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

int EnvironmentNumber(const char* name, int fallback, int lowest) {
    const char* text = std::getenv(name);
    int value = 0;
    if (text && std::from_chars(text, text + std::strlen(text), value).ec == std::errc() && value >= lowest)
        return value;
    return fallback;
}

} // namespace platform
