// The stored-password cipher: a keystream from one or three 32-bit shift registers, and the 64-letter
// text form in which every stored password is written.
#pragma once

#include <cstdint>
#include <string>

enum TEncryptionLevel : std::uint8_t {
    elWeak32bit = 0,   // one register
    elMedium64bit = 1, // three registers, the last two starting alike
    elStrong96bit = 2, // three registers
};

class TQMCrypt {
public:
    TEncryptionLevel EncryptionLevel = elWeak32bit;
    // Used by the next Crypt and cleared by it; without a key Crypt starts from the default registers.
    std::string Key;
    // Kept as a setting only: keys are always cut to their first 12 characters.
    bool SupportLongKeys = false;

    // Enciphers or deciphers S in place; the same call with the same key undoes it.
    void Crypt(std::string& S);
    // Three bytes to four letters, after a closing "*" and blanks up to a whole group; empty stays empty.
    static void EncodeText(const std::string& S, std::string& Text);
    // The reverse: trailing bytes up to 32 and then the closing "*" are dropped; letters outside the
    // alphabet count by their byte value, and letters short of a whole group are ignored.
    static void DecodeText(const std::string& Text, std::string& S);

private:
    struct Register {
        std::uint32_t Value;
        std::uint32_t Tap;
        std::uint32_t ShiftMask;
        std::uint32_t SetMask;
        // Advances the register; returns its lowest bit from before the step.
        unsigned Step();
    };

    void SetDefaultRegisters();
    void LoadKey();
    std::uint8_t NextKeystreamByte();

    Register m_a{0, 0x80000062u, 0x7FFFFFFFu, 0x80000000u};
    Register m_b{0, 0x40000020u, 0x3FFFFFFFu, 0xC0000000u};
    Register m_c{0, 0x10000002u, 0x0FFFFFFFu, 0xF0000000u};
};

// The one key with which every stored password (profile files, settings) is enciphered.
inline constexpr char kStoredPasswordKey[] = "KestrelWay";

// Plain text to its storable form, enciphered at the strongest level with Key.
std::string EncryptString(const std::string& Plain, const std::string& Key);
// Storable text back to plain text. Text that EncryptString did not make with Key gives other bytes,
// never an error.
std::string DecryptString(const std::string& Text, const std::string& Key);
