// The engine's one exception type: it carries a fixed text, as the program's messages expect.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text of a failed file operation: What + " \"" + FileName + "\". " + the system's reason.
std::string FileErrorText(const char* what, const std::string& fileName, int error);

// The report of an exception that ended a run early: its demangled type name, ": " and its message,
// cut at 1000 characters.
std::string ExceptionReport(const std::exception& error);
// The same for whatever std::current_exception() holds (a non-standard exception gives its type alone).
std::string CurrentExceptionReport();
