// Turning what the user types on the Filter page into name masks the folder scan can use: the scan tests
// every mask against an item's full path, so a bare name must be given a leading "*/".
#pragma once

#include <string>

// The folder mask for Text: it ends in "/" unless it ends in "*". An empty text stays empty.
std::string NormalizeDirFilter(const std::string& text);
// The file mask for Text: a trailing "/" gets "*" after it. An empty text stays empty.
std::string NormalizeFileFilter(const std::string& text);
// Whether the scan's wildcard match accepts Pattern; a malformed one (an unclosed set) would make every
// run fail.
bool IsValidFilterPattern(const std::string& pattern);
