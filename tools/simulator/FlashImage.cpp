#include "FlashImage.h"

FlashImage::Load FlashImage::apply(const HexRecord &record)
{
    switch (record.type) {
    case RecordType::EndOfFile:
        return Load::EndOfFile;
    case RecordType::StartSegmentAddress:
    case RecordType::StartLinearAddress:
        return Load::Ignored;
    case RecordType::ExtendedSegmentAddress:
        m_base = static_cast<std::uint32_t>(record.data.at(0) << 8 | record.data.at(1)) << 4;
        return Load::Stored;
    case RecordType::ExtendedLinearAddress:
        m_base = static_cast<std::uint32_t>(record.data.at(0) << 8 | record.data.at(1)) << 16;
        return Load::Stored;
    case RecordType::Data:
        break;
    }
    bool overlap = false;
    std::uint32_t address = m_base + record.offset;
    for (std::uint8_t value : record.data)
        overlap |= !store(address++, value);
    return overlap ? Load::Overlap : Load::Stored;
}

void FlashImage::clear()
{
    m_pages.clear();
    m_base = 0;
    m_written = 0;
}

bool FlashImage::store(std::uint32_t address, std::uint8_t value)
{
    Page &page = m_pages[address / kPageSize];
    const std::size_t at = address % kPageSize;
    page.bytes[at] = value;
    if (page.written.test(at))
        return false;
    page.written.set(at);
    ++m_written;
    return true;
}

std::uint32_t FlashImage::lowest() const
{
    if (m_pages.empty())
        return 0;
    const auto &[index, page] = *m_pages.begin();
    std::size_t at = 0;
    while (!page.written.test(at))
        ++at;
    return static_cast<std::uint32_t>(index * kPageSize + at);
}

std::uint64_t FlashImage::end() const
{
    if (m_pages.empty())
        return 0;
    const auto &[index, page] = *m_pages.rbegin();
    std::size_t at = kPageSize;
    while (!page.written.test(at - 1))
        --at;
    return std::uint64_t{index} * kPageSize + at;
}

std::vector<std::uint8_t> FlashImage::toBinary() const
{
    if (empty())
        return {};
    const std::uint64_t first = lowest();
    std::vector<std::uint8_t> binary(end() - first, 0xFF);
    for (const auto &[index, page] : m_pages) {
        for (std::size_t at = 0; at < kPageSize; ++at) {
            if (page.written.test(at))
                binary[std::uint64_t{index} * kPageSize + at - first] = page.bytes[at];
        }
    }
    return binary;
}
