// Test seams.
#include "tests/support/seams.h"

#include "platform/clock.h"
#include "platform/drive.h"
#include "platform/fault_injection.h"

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

} // namespace testing_support
