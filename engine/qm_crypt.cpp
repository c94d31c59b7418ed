// The stored-password cipher and its letter encoding.
#include "engine/qm_crypt.h"

#include <array>

namespace {

constexpr std::uint32_t kDefaultFirst = 0x6E2B4D17u;
constexpr std::uint32_t kDefaultSecond = 0x9A51C3F8u;
constexpr std::uint32_t kDefaultThird = 0x0D7E62B5u;
constexpr std::size_t kKeyLength = 12;

constexpr char kAlphabet[] = "-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
static_assert(sizeof kAlphabet == 65);

// Letter to value; a byte outside the alphabet stands for its own value.
constexpr std::array<unsigned, 256> LetterValues() {
    std::array<unsigned, 256> values{};
    for (unsigned i = 0; i < 256; ++i)
        values[i] = i;
    for (unsigned v = 0; v < 64; ++v)
        values[static_cast<unsigned char>(kAlphabet[v])] = v;
    return values;
}
constexpr std::array<unsigned, 256> kLetterValues = LetterValues();

// A short key is repeated from its own start up to 12 characters; a length that is a multiple of 4
// first gets its first character once more, so that its four-character words do not simply repeat.
std::string ExtendKey(std::string key) {
    if (key.size() < kKeyLength) {
        if (key.size() % 4 == 0)
            key += key[0];
        for (std::size_t next = 0; key.size() < kKeyLength; ++next)
            key += key[next];
    }
    return key;
}

std::uint32_t BigEndianWord(const std::string& key, std::size_t at) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i)
        word = (word << 8) | static_cast<unsigned char>(key[at + i]);
    return word;
}

} // namespace

unsigned TQMCrypt::Register::Step() {
    const unsigned output = Value & 1u;
    if (output)
        Value = ((Tap >> 1) ^ Value) | SetMask;
    else
        Value = (Value >> 1) & ShiftMask;
    return output;
}

void TQMCrypt::SetDefaultRegisters() {
    m_a.Value = kDefaultFirst;
    switch (EncryptionLevel) {
    case elWeak32bit:
        m_b.Value = m_c.Value = kDefaultFirst;
        break;
    case elMedium64bit:
        m_b.Value = m_c.Value = kDefaultSecond;
        break;
    default:
        m_b.Value = kDefaultSecond;
        m_c.Value = kDefaultThird;
        break;
    }
}

void TQMCrypt::LoadKey() {
    const std::string key = ExtendKey(Key);
    const bool strong = EncryptionLevel != elWeak32bit && EncryptionLevel != elMedium64bit;
    m_a.Value = BigEndianWord(key, 0);
    m_b.Value = EncryptionLevel == elWeak32bit ? m_a.Value : BigEndianWord(key, 4);
    m_c.Value = strong ? BigEndianWord(key, 8) : m_b.Value;
    // A register of 0 would never leave 0, so it takes a default word (or its neighbour's value).
    if (m_a.Value == 0)
        m_a.Value = kDefaultFirst;
    if (m_b.Value == 0)
        m_b.Value = EncryptionLevel == elWeak32bit ? m_a.Value : kDefaultSecond;
    if (m_c.Value == 0)
        m_c.Value = strong ? kDefaultThird : m_b.Value;
    Key.clear();
}

std::uint8_t TQMCrypt::NextKeystreamByte() {
    unsigned byte = 0;
    if (EncryptionLevel == elWeak32bit) {
        for (int i = 0; i < 8; ++i)
            byte = (byte << 1) | m_a.Step();
        return static_cast<std::uint8_t>(byte);
    }
    // A chooses which of B and C moves; the bit is the last output of each, mixed.
    unsigned bitB = m_b.Value & 1u;
    unsigned bitC = m_c.Value & 1u;
    for (int i = 0; i < 8; ++i) {
        if (m_a.Step())
            bitB = m_b.Step();
        else
            bitC = m_c.Step();
        byte = (byte << 1) | (bitB ^ bitC);
    }
    return static_cast<std::uint8_t>(byte);
}

void TQMCrypt::Crypt(std::string& S) {
    if (!Key.empty())
        LoadKey();
    else
        SetDefaultRegisters();
    for (char& c : S)
        c = static_cast<char>(static_cast<unsigned char>(c) ^ NextKeystreamByte());
}

void TQMCrypt::EncodeText(const std::string& S, std::string& Text) {
    Text.clear();
    if (S.empty())
        return;
    // The "*" keeps trailing blanks and control bytes of S from being trimmed on decoding.
    std::string bytes = S + '*';
    bytes.resize((bytes.size() + 2) / 3 * 3, ' ');
    Text.reserve(bytes.size() / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned b0 = static_cast<unsigned char>(bytes[i]);
        const unsigned b1 = static_cast<unsigned char>(bytes[i + 1]);
        const unsigned b2 = static_cast<unsigned char>(bytes[i + 2]);
        Text += kAlphabet[b0 >> 2];
        Text += kAlphabet[((b0 & 3u) << 4) | (b1 >> 4)];
        Text += kAlphabet[((b1 & 15u) << 2) | (b2 >> 6)];
        Text += kAlphabet[b2 & 63u];
    }
}

void TQMCrypt::DecodeText(const std::string& Text, std::string& S) {
    S.clear();
    const std::size_t whole = Text.size() / 4 * 4;
    S.reserve(whole / 4 * 3);
    for (std::size_t i = 0; i < whole; i += 4) {
        unsigned d[4];
        for (int j = 0; j < 4; ++j)
            d[j] = kLetterValues[static_cast<unsigned char>(Text[i + j])];
        S += static_cast<char>(((d[0] << 2) | (d[1] >> 4)) & 0xFFu);
        S += static_cast<char>(((d[1] << 4) | (d[2] >> 2)) & 0xFFu);
        S += static_cast<char>(((d[2] << 6) | d[3]) & 0xFFu);
    }
    while (!S.empty() && static_cast<unsigned char>(S.back()) <= 32)
        S.pop_back();
    if (!S.empty())
        S.pop_back();
}

std::string EncryptString(const std::string& Plain, const std::string& Key) {
    TQMCrypt crypt;
    crypt.EncryptionLevel = elStrong96bit;
    crypt.Key = Key;
    std::string bytes = Plain;
    crypt.Crypt(bytes);
    std::string text;
    TQMCrypt::EncodeText(bytes, text);
    return text;
}

std::string DecryptString(const std::string& Text, const std::string& Key) {
    std::string bytes;
    TQMCrypt::DecodeText(Text, bytes);
    TQMCrypt crypt;
    crypt.EncryptionLevel = elStrong96bit;
    crypt.Key = Key;
    crypt.Crypt(bytes);
    return bytes;
}
