// Reading the program's environment variables (BRIMVALE_HOME and the others the README lists).
#pragma once

#include <string>

namespace platform {

// The variable's text; empty when it is not set.
std::string EnvironmentText(const char* name);
// The variable as a whole number of at least Lowest; Fallback when it is unset, not a number or below Lowest.
int EnvironmentNumber(const char* name, int fallback, int lowest = 0);

} // namespace platform
