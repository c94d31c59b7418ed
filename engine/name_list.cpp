// TNameList: names as shared-prefix lengths and rests, in blocks.
#include "engine/name_list.h"

#include <algorithm>

namespace {

void PutNumber(std::string& out, std::size_t value) {
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

std::size_t GetNumber(const std::string& in, std::size_t& offset) {
    std::size_t value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(in[offset++]);
        value |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            return value;
    }
}

} // namespace

void TNameList::Append(std::string_view name) {
    const bool whole = m_count % WholeEvery == 0;
    std::size_t shared = 0;
    if (!whole) {
        const std::size_t limit = std::min(name.size(), m_last.size());
        while (shared < limit && name[shared] == m_last[shared])
            ++shared;
    }
    const std::size_t rest = name.size() - shared;
    // Two numbers of at most ten bytes each, and the rest.
    const std::size_t most = rest + 20;
    if (m_blocks.empty() || m_blocks.back().size() + most > m_blocks.back().capacity()) {
        m_blocks.emplace_back();
        m_blocks.back().reserve(std::max(BlockSize, most));
    }
    std::string& block = m_blocks.back();
    if (whole)
        m_whole.push_back(static_cast<std::uint64_t>(m_blocks.size() - 1) << 32 | block.size());
    PutNumber(block, shared);
    PutNumber(block, rest);
    block.append(name.substr(shared));
    m_last.assign(name);
    ++m_count;
}

void TNameList::Clear() {
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_whole.clear();
    m_whole.shrink_to_fit();
    m_last.clear();
    m_count = 0;
}

void TNameList::Decode(std::size_t& block, std::size_t& offset, std::string& name) const {
    if (offset == m_blocks[block].size()) {
        ++block;
        offset = 0;
    }
    const std::string& text = m_blocks[block];
    const std::size_t shared = GetNumber(text, offset);
    const std::size_t rest = GetNumber(text, offset);
    name.resize(shared);
    name.append(text, offset, rest);
    offset += rest;
}

std::string TNameList::At(std::size_t index) const {
    const std::uint64_t start = m_whole[index / WholeEvery];
    std::size_t block = static_cast<std::size_t>(start >> 32);
    std::size_t offset = static_cast<std::size_t>(start & 0xFFFFFFFFu);
    std::string name;
    for (std::size_t i = index / WholeEvery * WholeEvery; i <= index; ++i)
        Decode(block, offset, name);
    return name;
}

bool TNameList::TReader::Next() {
    if (m_next >= m_list.m_count)
        return false;
    m_list.Decode(m_block, m_offset, m_name);
    ++m_next;
    return true;
}
