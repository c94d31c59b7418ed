// Moving text between the program's UTF-8 std::string and Qt's QString.
#pragma once

#include <QString>

#include <string>

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

inline std::string S(const QString& text) {
    return text.toStdString();
}
