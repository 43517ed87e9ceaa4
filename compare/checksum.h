#pragma once
// The checksum family: an abstract checksum, the table-driven 32-bit CRC with
// its shared per-polynomial tables, the 16-bit table list, and crc32, the
// additive byte sum the program has always called its file checksum.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace qvr {

class CFile;

class COXCheckBase {
public:
    explicit COXCheckBase(int kind) : m_kind(kind) {}
    virtual ~COXCheckBase() = default;

    // Folds length bytes into start; the running value is kept as the current
    // value after every byte. Returns the final value.
    virtual std::uint32_t UpdateFrom(const void* buffer, std::uint32_t length,
                                     std::uint32_t start) = 0;
    // UpdateFrom with the current value as the start.
    virtual std::uint32_t Update(const void* buffer, std::uint32_t length);
    // Checksum of the whole file; throws CFileException when it cannot be
    // opened or read.
    virtual std::uint32_t ChecksumOfFile(std::string fileName);
    // Checksum of at most maxCount bytes from the file's position, read in
    // blocks of blockSize bytes. A read failure resets the value to 0 and
    // passes the CFileException on.
    virtual std::uint32_t ChecksumOfStream(CFile& file, std::uint32_t maxCount,
                                           std::uint32_t blockSize);

    std::uint32_t Current() const { return m_current; }
    int Kind() const { return m_kind; }

protected:
    std::uint32_t m_current = 0xFFFFFFFFu;
    int m_kind;
};

// A singly linked list of lookup tables, one per polynomial, made on first use
// and kept until the program ends so every checksum object shares them.
template <typename Entry>
class COXCRCTableList {
public:
    struct Node {
        std::array<Entry, 256> entries{};
        Entry polynomial = 0;
        std::unique_ptr<Node> next;
    };

    COXCRCTableList() = default;
    virtual ~COXCRCTableList() {
        // Unlink iteratively so a long list cannot exhaust the stack.
        while (m_head) m_head = std::move(m_head->next);
    }
    COXCRCTableList(const COXCRCTableList&) = delete;
    COXCRCTableList& operator=(const COXCRCTableList&) = delete;

    // Builds one table node; the caller links it into the list.
    virtual std::unique_ptr<Node> MakeTable(Entry polynomial) const = 0;

    // The table for the polynomial: the first node made for it, or a new node
    // linked after the last one.
    const Node& TableFor(Entry polynomial) {
        std::lock_guard lock(m_mutex);
        std::unique_ptr<Node>* link = &m_head;
        for (; *link; link = &(*link)->next) {
            if ((*link)->polynomial == polynomial) return **link;
        }
        *link = MakeTable(polynomial);
        return **link;
    }

    std::size_t Count() const {
        std::lock_guard lock(m_mutex);
        std::size_t count = 0;
        for (const Node* node = m_head.get(); node; node = node->next.get()) ++count;
        return count;
    }

    // The polynomial of the node at index (list order), or 0 when out of range.
    Entry PolynomialAt(std::size_t index) const {
        std::lock_guard lock(m_mutex);
        for (const Node* node = m_head.get(); node; node = node->next.get(), --index) {
            if (index == 0) return node->polynomial;
        }
        return 0;
    }

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<Node> m_head;
};

class COXCRC32 : public COXCheckBase {
public:
    static constexpr std::uint32_t kIeeePolynomial = 0xEDB88320u;
    static constexpr int kKind = 3;

    class CTableList final : public COXCRCTableList<std::uint32_t> {
    public:
        // Reflected (least significant bit first) table of the polynomial.
        std::unique_ptr<Node> MakeTable(std::uint32_t polynomial) const override;
    };

    explicit COXCRC32(std::uint32_t polynomial = kIeeePolynomial);

    // Table-driven CRC without inversion before or after.
    std::uint32_t UpdateFrom(const void* buffer, std::uint32_t length,
                             std::uint32_t start) override;

    const std::array<std::uint32_t, 256>& Table() const { return *m_table; }
    static CTableList& Tables();

protected:
    const std::array<std::uint32_t, 256>* m_table;
};

// Only the 16-bit table list is part of the family; no 16-bit checksum is
// ever computed.
class COXCRC16 {
public:
    class CTableList final : public COXCRCTableList<std::uint16_t> {
    public:
        // Most-significant-bit-first table of the polynomial.
        std::unique_ptr<Node> MakeTable(std::uint16_t polynomial) const override;
    };

    static CTableList& Tables();
};

// The file checksum: the plain sum of all byte values modulo 2^32. It keeps
// the CRC-32 base (and so the shared table) but never consults the table.
class crc32 : public COXCRC32 {
public:
    crc32() : COXCRC32(kIeeePolynomial) {}
    std::uint32_t UpdateFrom(const void* buffer, std::uint32_t length,
                             std::uint32_t start) override;
};

}  // namespace qvr
