// Moving text between the program's UTF-8 strings and Qt's QString.
#pragma once

#include <QString>

#include <string>

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The program's fixed texts are UTF-8 literals.
inline QString Q(const char* text) {
    return QString::fromUtf8(text);
}

inline std::string S(const QString& text) {
    return text.toStdString();
}
