// The stored-password cipher: stored texts worked out independently of this implementation, so that
// files written by any earlier version keep reading back.
#include "engine/qm_crypt.h"

#include <gtest/gtest.h>

namespace {

const std::string kStoredKey = "KestrelWay";

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string KeystreamHex(TEncryptionLevel level, const std::string& key) {
    TQMCrypt crypt;
    crypt.EncryptionLevel = level;
    crypt.Key = key;
    std::string bytes(8, '\0');
    crypt.Crypt(bytes);
    return Hex(bytes);
}

} // namespace

TEST(EncryptString, StoredTextsWithTheFixedKey) {
    const struct {
        std::string plain;
        const char* stored;
    } cases[] = {
        {"", ""},
        {"a", "3XcV"},
        {"ab", "3cse"}, // the "*" fills the group
        {"abc", "3cuD9X-V"},
        {"abcd", "3cuDqXcV"},
        {"abcde", "3cuDqd7e"},
        {"abcdef", "3cuDqd9z9X-V"},
        {"abcdefg", "3cuDqd9zHHcV"},
        {"secret", "-7aDn89h9X-V"},
        {" ", "JmcV"},
        {"pass  ", "-sqTnSUt9X-V"},
        {std::string("\t\r\n\0", 4), "Ti6bjXcV"},
        {"\x01\x1f ", "RjEC9X-V"},
        {"\xc3\xa4\xc3\xb6\xc3\xbc", "g3Vi12G_9X-V"},
        {"\xff\x80\x7f", "Y5mH9X-V"},
        {"Tr0ub4dor&3 correct horse", "8tvSmtMhHd6f5zz5WNNKV78w3DuqXAhh_mcV"},
    };
    const std::string alphabet = "-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.plain));
        const std::string stored = EncryptString(c.plain, kStoredKey);
        EXPECT_EQ(stored, c.stored);
        EXPECT_EQ(stored.find_first_not_of(alphabet), std::string::npos);
        EXPECT_EQ(DecryptString(c.stored, kStoredKey), c.plain);
    }
}

TEST(EncryptString, OtherKeysAndDefaultRegistersRoundTrip) {
    const std::string plain("trailing blanks and controls \x01\x02 \t", 33);
    for (const std::string key : {"", "x", "another key of some length"}) {
        SCOPED_TRACE(key);
        const std::string stored = EncryptString(plain, key);
        EXPECT_NE(stored, EncryptString(plain, kStoredKey));
        EXPECT_EQ(DecryptString(stored, key), plain);
    }
}

// The keystream over zero bytes is the keystream itself: register loading, key extension, the zero
// register rule and each level's bit mixing all show in it.
TEST(TQMCrypt, KeystreamByLevelAndKey) {
    const struct {
        TEncryptionLevel level;
        std::string key;
        const char* keystream;
    } cases[] = {
        {elWeak32bit, "", "a8291290a4a512a2"},
        {elWeak32bit, "abcd", "2252828a08949224"}, // only the first four characters count
        {elWeak32bit, "abcdefgh", "2252828a08949224"},
        {elWeak32bit, std::string(12, '\0'), "a8291290a4a512a2"}, // a zero register takes the default
        {elWeak32bit, kStoredKey, "25254412a14a84aa"},
        {elWeak32bit, "x", "15509552a4448a81"},
        {elMedium64bit, "", "0264b6feedfccf19"},
        {elMedium64bit, "abcd", "6fc9efd9bf333eef"},
        {elMedium64bit, "abcdaabcdaab", "6fc9efd9bf333eef"}, // what "abcd" is extended to
        {elMedium64bit, "abcdefgh", "08d729e6e5f2f77e"},
        {elMedium64bit, "abcdefghaabc", "08d729e6e5f2f77e"}, // what "abcdefgh" is extended to
        {elMedium64bit, std::string(12, '\0'), "0264b6feedfccf19"},
        {elMedium64bit, std::string("\0\0\0\0abcdefgh", 12), "0b9bb7f5f3f377f9"},
        {elMedium64bit, kStoredKey, "6cef3eb91bdf2f1e"},
        {elStrong96bit, "", "e29bb9fafd1349ee"},
        {elStrong96bit, "abcd", "9f373f277ecfce9e"},
        {elStrong96bit, "abcdaabcdaab", "9f373f277ecfce9e"},
        {elStrong96bit, "abcdefgh", "9029efd9bf333eef"},
        {elStrong96bit, std::string(12, '\0'), "e29bb9fafd1349ee"},
        {elStrong96bit, std::string("abcdefgh\0\0\0\0", 12), "88d737e6e532ceee"},
        {elStrong96bit, std::string("abcd\0\0\0\0abcd", 12), "10d72fd9df333f93"},
        {elStrong96bit, kStoredKey, "73ecedbef7d92efe"},
        {elStrong96bit, "KestrelWayKeXYZ", "73ecedbef7d92efe"}, // beyond 12 characters nothing counts
        {elStrong96bit, "x", "0c35ff36efed27f4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.level) << " " << Hex(c.key));
        EXPECT_EQ(KeystreamHex(c.level, c.key), c.keystream);
    }
}

TEST(TQMCrypt, CryptClearsTheKeySoTheNextRunUsesTheDefaults) {
    TQMCrypt crypt;
    crypt.EncryptionLevel = elStrong96bit;
    crypt.Key = kStoredKey;
    std::string bytes = "some password";
    crypt.Crypt(bytes);
    EXPECT_TRUE(crypt.Key.empty());
    EXPECT_NE(bytes, "some password");

    std::string zeros(8, '\0');
    crypt.Crypt(zeros);
    EXPECT_EQ(Hex(zeros), "e29bb9fafd1349ee");

    crypt.Key = kStoredKey;
    crypt.Crypt(bytes);
    EXPECT_EQ(bytes, "some password");
}

TEST(TQMCrypt, LetterEncodingAndTheDecodersTolerance) {
    const struct {
        std::string bytes;
        const char* text;
    } encoded[] = {
        {"", ""},
        {std::string(1, '\0'), "-1cV"},
        {"Man", "IL4i9X-V"},
        {"\xff\xfe\xfd", "zzvx9X-V"},
        {"ab  ", "NL7V71cV"},
    };
    for (const auto& c : encoded) {
        std::string text = "stale", bytes = "stale";
        TQMCrypt::EncodeText(c.bytes, text);
        EXPECT_EQ(text, c.text) << Hex(c.bytes);
        TQMCrypt::DecodeText(c.text, bytes);
        EXPECT_EQ(bytes, c.bytes) << c.text;
    }

    // Text that no encoder wrote: foreign letters count by their byte value, a short last group is
    // ignored, and the trimming takes what it finds.
    const struct {
        const char* text;
        std::string bytes;
    } decoded[] = {
        {"abc", ""},
        {"abcde", "\x9az"},
        {"a b!", "\x9a\t"},
        {"0123456", "\x04 "},
        {"~~~~", "\xff\xff"},
        {"----", ""},
        {"\x80\xff\x01\x20", "\x0f\xf0"},
    };
    for (const auto& c : decoded) {
        std::string bytes = "stale";
        TQMCrypt::DecodeText(c.text, bytes);
        EXPECT_EQ(Hex(bytes), Hex(c.bytes)) << c.text;
    }
}
