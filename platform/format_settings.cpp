// The process-wide locale value.
#include "platform/format_settings.h"

#include <mutex>

namespace platform {
namespace {

TFormatSettings MakeUsSettings() {
    TFormatSettings s;
    s.ShortDateFormat = "m/d/yyyy";
    s.LongDateFormat = "dddd, mmmm d, yyyy";
    s.ShortTimeFormat = "h:nn ampm";
    s.LongTimeFormat = "h:nn:ss ampm";
    s.DateSeparator = "/";
    s.TimeSeparator = ":";
    s.DecimalSeparator = ".";
    s.ThousandSeparator = ",";
    s.TimeAMString = "AM";
    s.TimePMString = "PM";
    s.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                        "July",    "August",   "September", "October", "November", "December"};
    s.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    s.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    s.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    return s;
}

std::mutex settingsMutex;
TFormatSettings& Current() {
    static TFormatSettings settings = MakeUsSettings();
    return settings;
}

} // namespace

const TFormatSettings& UsFormatSettings() {
    static const TFormatSettings settings = MakeUsSettings();
    return settings;
}

TFormatSettings GetFormatSettings() {
    std::lock_guard lock(settingsMutex);
    return Current();
}

void SetFormatSettings(const TFormatSettings& settings) {
    std::lock_guard lock(settingsMutex);
    Current() = settings;
}

void ResetFormatSettings() {
    SetFormatSettings(UsFormatSettings());
}

} // namespace platform
