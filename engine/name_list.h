// TNameList: an append-only list of names kept compactly. Each name is stored as the length of the
// beginning it shares with the name before it, followed by the rest, so that a million paths below a few
// folders take a fraction of their text; every sixteenth name is stored whole, so that any name is found
// in a few steps. The text lies in blocks of fixed size, so the list never copies itself as it grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TNameList {
public:
    void Append(std::string_view name);
    std::size_t Size() const { return m_count; }
    bool Empty() const { return m_count == 0; }
    void Clear();
    // The name at Index (below Size). Safe to call from several threads while nothing is appended.
    std::string At(std::size_t index) const;

    // Reads the names in order.
    class TReader {
    public:
        explicit TReader(const TNameList& list) : m_list(list) {}
        // Moves to the next name; false after the last.
        bool Next();
        const std::string& Name() const { return m_name; }

    private:
        const TNameList& m_list;
        std::string m_name;
        std::size_t m_next = 0;
        std::size_t m_block = 0;
        std::size_t m_offset = 0;
    };

private:
    static constexpr std::size_t WholeEvery = 16;
    static constexpr std::size_t BlockSize = 64 << 10;

    // Decodes the name at Block/Offset into Name (which holds the name before it) and moves past it.
    void Decode(std::size_t& block, std::size_t& offset, std::string& name) const;

    std::vector<std::string> m_blocks;
    std::vector<std::uint64_t> m_whole; // where each name stored whole begins: block << 32 | offset
    std::string m_last;
    std::size_t m_count = 0;
};
