// The Filter page's normalisers and the validity test of a mask.
#include "app/main_window/filter_patterns.h"

#include "engine/exception.h"
#include "engine/file_system_list.h"

#include <algorithm>

namespace {

// A "\" typed out of habit is taken as the separator; the path is then anchored anywhere in the full path.
std::string AnchoredPattern(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    if (text.front() == '*')
        return text;
    if (text.front() == '/')
        return "*" + text;
    return "*/" + text;
}

} // namespace

std::string NormalizeDirFilter(const std::string& text) {
    if (text.empty())
        return text;
    std::string pattern = AnchoredPattern(text);
    if (pattern.back() != '*' && pattern.back() != '/')
        pattern += '/';
    return pattern;
}

std::string NormalizeFileFilter(const std::string& text) {
    if (text.empty())
        return text;
    std::string pattern = AnchoredPattern(text);
    if (pattern.back() == '/')
        pattern += '*';
    return pattern;
}

bool IsValidFilterPattern(const std::string& pattern) {
    try {
        MatchesMask("", pattern);
        return true;
    } catch (const Exception&) {
        return false;
    }
}
