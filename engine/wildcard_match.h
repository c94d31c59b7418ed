// The wildcard match of name masks: a mask parsed once and matched against many full paths, letter case
// ignored (ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class WildcardMask {
public:
    // Raises "Invalid mask - " + Mask when a set is not closed.
    explicit WildcardMask(const std::string& mask);

    // The whole Text against the whole mask, in time proportional to the product of their lengths at worst.
    bool Matches(const std::string& text) const;

private:
    struct Range {
        char32_t Low, High;
    };
    enum class Kind : std::uint8_t { Literal, AnyOne, AnyRun, Set };
    struct Token {
        Kind Type;
        bool Negated = false;
        char32_t Letter = 0;          // Literal: the folded letter
        std::uint32_t FirstRange = 0; // Set: its ranges in m_ranges
        std::uint32_t RangeCount = 0;
    };

    bool MatchesOne(const Token& token, char32_t folded) const;

    std::vector<Token> m_tokens;
    std::vector<Range> m_ranges;
};

// The letter case folding of the match: a code point's lower-case form, the code point itself when it has
// none in the covered blocks.
char32_t FoldCase(char32_t c);
