// The locale value taken from Qt's system locale, with Qt's date and time patterns turned into the
// program's own tokens.
#pragma once

#include "platform/format_settings.h"

#include <QLocale>
#include <QString>

// Qt's pattern in the program's tokens; DateSeparator and TimeSeparator receive the first separator
// found between date parts and between time parts (left untouched when the pattern has none).
std::string ConvertQtDateTimePattern(const QString& pattern, std::string& dateSeparator,
                                     std::string& timeSeparator);
platform::TFormatSettings FormatSettingsFromLocale(const QLocale& locale);
