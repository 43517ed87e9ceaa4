#include "compare/checksum.h"

#include <algorithm>
#include <vector>

#include "compare/file.h"
#include "compare/file_exception.h"

namespace qvr {

std::uint32_t COXCheckBase::Update(const void* buffer, std::uint32_t length) {
    return UpdateFrom(buffer, length, m_current);
}

std::uint32_t COXCheckBase::ChecksumOfFile(std::string fileName) {
    CFile file(fileName, CFile::modeRead | CFile::shareDenyWrite);
    return ChecksumOfStream(file, 0xFFFFFFFFu, 2048);
}

std::uint32_t COXCheckBase::ChecksumOfStream(CFile& file, std::uint32_t maxCount,
                                             std::uint32_t blockSize) {
    m_current = 0;
    std::uint32_t remaining = maxCount;
    std::uint32_t block = std::min(blockSize, remaining);
    std::vector<unsigned char> buffer(block);
    std::uint32_t got = 0;
    do {
        try {
            got = static_cast<std::uint32_t>(file.Read(buffer.data(), block));
        } catch (const CFileException&) {
            m_current = 0;
            throw;
        }
        m_current = UpdateFrom(buffer.data(), got, m_current);
        remaining -= got;
        // A short read means the end of the file; so does reaching maxCount.
        if (remaining < block) block = remaining;
    } while (block != 0 && got == block);
    return m_current;
}

std::unique_ptr<COXCRC32::CTableList::Node> COXCRC32::CTableList::MakeTable(
    std::uint32_t polynomial) const {
    auto node = std::make_unique<Node>();
    node->polynomial = polynomial;
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ polynomial : c >> 1;
        node->entries[i] = c;
    }
    return node;
}

COXCRC32::COXCRC32(std::uint32_t polynomial)
    : COXCheckBase(kKind), m_table(&Tables().TableFor(polynomial).entries) {}

COXCRC32::CTableList& COXCRC32::Tables() {
    static CTableList list;
    return list;
}

std::uint32_t COXCRC32::UpdateFrom(const void* buffer, std::uint32_t length,
                                   std::uint32_t start) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const auto& table = *m_table;
    std::uint32_t v = start;
    for (std::uint32_t i = 0; i < length; ++i) v = table[(bytes[i] ^ v) & 0xFFu] ^ (v >> 8);
    m_current = v;
    return v;
}

std::unique_ptr<COXCRC16::CTableList::Node> COXCRC16::CTableList::MakeTable(
    std::uint16_t polynomial) const {
    auto node = std::make_unique<Node>();
    node->polynomial = polynomial;
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = 0;
        std::uint32_t d = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            c = ((c ^ d) & 0x8000u) ? (c << 1) ^ polynomial : c << 1;
            d <<= 1;
        }
        node->entries[i] = static_cast<std::uint16_t>(c & 0xFFFFu);
    }
    return node;
}

COXCRC16::CTableList& COXCRC16::Tables() {
    static CTableList list;
    return list;
}

std::uint32_t crc32::UpdateFrom(const void* buffer, std::uint32_t length, std::uint32_t start) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::uint32_t v = start;
    for (std::uint32_t i = 0; i < length; ++i) v += bytes[i];
    m_current = v;
    return v;
}

}  // namespace qvr
