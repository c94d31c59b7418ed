// The system's texts for errno values.
#include "platform/status.h"

#include <cstring>

namespace platform {

std::string ErrorText(int error) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not lie in the buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

} // namespace platform
