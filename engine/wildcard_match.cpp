// The wildcard match of name masks: UTF-8 decoding, letter case folding and the greedy-star match.
#include "engine/wildcard_match.h"

#include "engine/exception.h"
#include "engine/file_system_list.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace {

// A byte that is not part of valid UTF-8 stands for itself, apart from every real code point.
constexpr char32_t StrayByteBase = 0x110000;

// Decodes the code point at Pos and moves Pos past it.
char32_t Decode(const std::string& text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    }
    bool valid = length > 0 && pos + length <= text.size();
    for (std::size_t i = 1; valid && i < length; ++i) {
        const unsigned char next = byte(pos + i);
        valid = (next & 0xC0) == 0x80;
        c = (c << 6) | (next & 0x3F);
    }
    if (!valid || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++pos;
        return StrayByteBase + lead;
    }
    pos += length;
    return c;
}

// Upper and lower case alternate in pairs (upper first when UpperEven, else lower first) from First to Last.
bool InAlternatingPairs(char32_t c, char32_t first, char32_t last, bool upperEven) {
    return c >= first && c <= last && ((c % 2 == 0) == upperEven);
}

char32_t FoldLatin(char32_t c) {
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    switch (c) {
    case 0xB5:
        return 0x3BC; // micro sign: Greek small mu
    case 0x130:
        return 'i'; // capital I with dot above
    case 0x178:
        return 0xFF; // capital Y with diaeresis
    case 0x17F:
        return 's'; // long s
    default:
        break;
    }
    if (c == 0x131 || c == 0x138 || c == 0x149)
        return c; // dotless i, kra and n preceded by apostrophe have no pair
    if (InAlternatingPairs(c, 0x100, 0x137, true) || InAlternatingPairs(c, 0x139, 0x148, false) ||
        InAlternatingPairs(c, 0x14A, 0x177, true) || InAlternatingPairs(c, 0x179, 0x17E, false))
        return c + 1;
    return c;
}

char32_t FoldGreek(char32_t c) {
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB))
        return c + 0x20;
    if (c >= 0x388 && c <= 0x38A)
        return c + 0x25;
    if (c >= 0x3FD && c <= 0x3FF)
        return c - 0x82;
    switch (c) {
    case 0x37F:
        return 0x3F3;
    case 0x386:
        return 0x3AC;
    case 0x38C:
        return 0x3CC;
    case 0x38E:
        return 0x3CD;
    case 0x38F:
        return 0x3CE;
    case 0x3C2:
        return 0x3C3; // final sigma
    case 0x3CF:
        return 0x3D7;
    case 0x3D0:
        return 0x3B2;
    case 0x3D1:
        return 0x3B8;
    case 0x3D5:
        return 0x3C6;
    case 0x3D6:
        return 0x3C0;
    case 0x3F0:
        return 0x3BA;
    case 0x3F1:
        return 0x3C1;
    case 0x3F4:
        return 0x3B8;
    case 0x3F5:
        return 0x3B5;
    case 0x3F7:
        return 0x3F8;
    case 0x3F9:
        return 0x3F2;
    case 0x3FA:
        return 0x3FB;
    default:
        break;
    }
    if (InAlternatingPairs(c, 0x370, 0x373, true) || InAlternatingPairs(c, 0x376, 0x377, true) ||
        InAlternatingPairs(c, 0x3D8, 0x3EF, true))
        return c + 1;
    return c;
}

char32_t FoldCyrillic(char32_t c) {
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if (c >= 0x410 && c <= 0x42F)
        return c + 0x20;
    if (c == 0x4C0)
        return 0x4CF;
    if (InAlternatingPairs(c, 0x460, 0x481, true) || InAlternatingPairs(c, 0x48A, 0x4BF, true) ||
        InAlternatingPairs(c, 0x4C1, 0x4CE, false) || InAlternatingPairs(c, 0x4D0, 0x52F, true))
        return c + 1;
    return c;
}

} // namespace

char32_t FoldCase(char32_t c) {
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if (c < 0x180)
        return FoldLatin(c);
    if (c >= 0x370 && c < 0x400)
        return FoldGreek(c);
    if (c >= 0x400 && c < 0x530)
        return FoldCyrillic(c);
    return c;
}

namespace {

// The characters whose folded form is Folded, Folded itself among them. Only the covered blocks fold, so the
// table of folded pairs is small and built once.
struct TCaseVariants {
    char32_t Chars[4];
    std::size_t Count = 0;
};

TCaseVariants CaseVariants(char32_t folded) {
    static const std::vector<std::pair<char32_t, char32_t>> foldedFrom = [] {
        std::vector<std::pair<char32_t, char32_t>> pairs;
        for (char32_t c = 0; c < 0x530; ++c)
            if (FoldCase(c) != c)
                pairs.emplace_back(FoldCase(c), c);
        std::sort(pairs.begin(), pairs.end());
        return pairs;
    }();
    TCaseVariants variants;
    variants.Chars[variants.Count++] = folded;
    auto it = std::lower_bound(foldedFrom.begin(), foldedFrom.end(), std::make_pair(folded, char32_t{0}));
    for (; it != foldedFrom.end() && it->first == folded && variants.Count < 4; ++it)
        variants.Chars[variants.Count++] = it->second;
    return variants;
}

} // namespace

WildcardMask::WildcardMask(const std::string& mask) {
    std::size_t pos = 0;
    while (pos < mask.size()) {
        const char32_t c = Decode(mask, pos);
        if (c == '*') {
            if (m_tokens.empty() || m_tokens.back().Type != Kind::AnyRun)
                m_tokens.push_back({Kind::AnyRun});
        } else if (c == '?') {
            m_tokens.push_back({Kind::AnyOne});
        } else if (c == '[') {
            Token set{Kind::Set};
            set.FirstRange = static_cast<std::uint32_t>(m_ranges.size());
            if (pos < mask.size() && mask[pos] == '!') {
                set.Negated = true;
                ++pos;
            }
            bool closed = false;
            while (pos < mask.size()) {
                const char32_t low = Decode(mask, pos);
                if (low == ']') {
                    closed = true;
                    break;
                }
                char32_t high = low;
                if (pos + 1 < mask.size() && mask[pos] == '-' && mask[pos + 1] != ']') {
                    ++pos;
                    high = Decode(mask, pos);
                }
                // The ends stay as written: folding them could empty a range whose ends differ in case
                // ("[A-_]" would become "a" to "_"). A character is in the set when any of its case forms is.
                m_ranges.push_back({low, high});
            }
            if (!closed)
                throw Exception("Invalid mask - " + mask);
            set.RangeCount = static_cast<std::uint32_t>(m_ranges.size()) - set.FirstRange;
            m_tokens.push_back(set);
        } else {
            Token literal{Kind::Literal};
            literal.Letter = FoldCase(c);
            m_tokens.push_back(literal);
        }
    }
}

bool WildcardMask::MatchesOne(const Token& token, char32_t folded) const {
    switch (token.Type) {
    case Kind::Literal:
        return token.Letter == folded;
    case Kind::AnyOne:
        return true;
    case Kind::Set: {
        bool inSet = false;
        const TCaseVariants variants = CaseVariants(folded);
        for (std::uint32_t i = 0; i < token.RangeCount && !inSet; ++i) {
            const Range& range = m_ranges[token.FirstRange + i];
            for (std::size_t v = 0; v < variants.Count && !inSet; ++v)
                inSet = variants.Chars[v] >= range.Low && variants.Chars[v] <= range.High;
        }
        return inSet != token.Negated;
    }
    case Kind::AnyRun:
        break;
    }
    return false;
}

// Every token but "*" takes exactly one character, so the last "*" seen is the only point worth returning
// to: a later "*" can absorb whatever an earlier one would have. Each character of Text is thus tried
// against the tokens after the last "*" at most once per start position.
bool WildcardMask::Matches(const std::string& text) const {
    const std::size_t tokenCount = m_tokens.size();
    std::size_t token = 0;
    std::size_t pos = 0;
    std::size_t starToken = tokenCount; // none yet
    std::size_t starPos = 0;
    while (pos < text.size()) {
        if (token < tokenCount && m_tokens[token].Type == Kind::AnyRun) {
            starToken = token++;
            starPos = pos;
            continue;
        }
        std::size_t next = pos;
        const char32_t c = FoldCase(Decode(text, next));
        if (token < tokenCount && MatchesOne(m_tokens[token], c)) {
            ++token;
            pos = next;
            continue;
        }
        if (starToken == tokenCount)
            return false;
        token = starToken + 1;
        Decode(text, starPos);
        pos = starPos;
    }
    while (token < tokenCount && m_tokens[token].Type == Kind::AnyRun)
        ++token;
    return token == tokenCount;
}

bool MatchesMask(const std::string& text, const std::string& mask) {
    return WildcardMask(mask).Matches(text);
}
