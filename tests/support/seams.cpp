// Test seams.
#include "tests/support/seams.h"

#include "platform/clock.h"
#include "platform/drive.h"
#include "platform/fault_injection.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

platform::TFormatSettings GermanFormatSettings() {
    platform::TFormatSettings s = platform::UsFormatSettings();
    s.ShortDateFormat = "dd.mm.yyyy";
    s.LongTimeFormat = "hh:nn:ss";
    s.DateSeparator = ".";
    s.DecimalSeparator = ",";
    s.ThousandSeparator = ".";
    s.TimeAMString = "";
    s.TimePMString = "";
    s.LongMonthNames[2] = "M\xc3\xa4rz";
    return s;
}

ScopedSeams::ScopedSeams(const platform::TFormatSettings& settings) {
    platform::SetFormatSettings(settings);
}

ScopedSeams::~ScopedSeams() {
    platform::SetClock({});
    platform::ResetFormatSettings();
    platform::SetFaultHook({});
    platform::SetFreeBytesOverride({});
}

ScopedClock::ScopedClock(TDateTime now) {
    platform::SetClock([now] { return now; });
}

ScopedClock::ScopedClock(std::function<TDateTime()> clock) {
    platform::SetClock(std::move(clock));
}

ScopedClock::~ScopedClock() {
    platform::SetClock({});
}

ScopedFaultHook::ScopedFaultHook(platform::FaultHook hook) {
    platform::SetFaultHook(std::move(hook));
}

ScopedFaultHook::~ScopedFaultHook() {
    Remove();
}

void ScopedFaultHook::Remove() {
    platform::SetFaultHook({});
}

ScopedFreeBytes::ScopedFreeBytes(std::function<std::int64_t(const std::string& path)> override) {
    platform::SetFreeBytesOverride(std::move(override));
}

ScopedFreeBytes::~ScopedFreeBytes() {
    platform::SetFreeBytesOverride({});
}

int ExitCodeWithFileSizeLimit(std::int64_t limit, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit size { static_cast<rlim_t>(limit), static_cast<rlim_t>(limit) };
        ::setrlimit(RLIMIT_FSIZE, &size);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace testing_support
