// Exception reports.
#include "engine/exception.h"

#include "platform/file_io.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace {

std::string Demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                     std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(name);
}

std::string Cut(std::string text) {
    if (text.size() > 1000)
        text.resize(1000);
    return text;
}

} // namespace

std::string ExceptionReport(const std::exception& error) {
    return Cut(Demangle(typeid(error).name()) + ": " + error.what());
}

std::string CurrentExceptionReport() {
    try {
        throw;
    } catch (const std::exception& error) {
        return ExceptionReport(error);
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        return Cut(type ? Demangle(type->name()) : std::string("unknown exception"));
    }
}

std::string FileErrorText(const char* what, const std::string& fileName, int error) {
    return std::string(what) + " \"" + fileName + "\". " + platform::ErrorText(error);
}
