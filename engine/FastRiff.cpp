#include "engine/FastRiff.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsIdByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ';
}

[[noreturn]] void Malformed()
{
    throw giga::kRiffError;
}

}  // namespace

bool FastRiff::OpenRiff(const char* path)
{
    Close();
    if (!m_file.Open(path))
        return false;
    m_fileSize = m_file.GetSize();
    Rewind();
    return m_fileSize >= giga::kRiffMinFileBytes;
}

void FastRiff::Close()
{
    m_file.Close();
    m_fileSize = 0;
    m_position = 0;
    m_depth = -1;
    std::memset(m_ends, 0, sizeof(m_ends));
}

void FastRiff::Seek(int64_t offset)
{
    m_position = offset;
    m_file.Seek(offset);
}

void FastRiff::Skip(int64_t count)
{
    Seek(m_position + count);
}

void FastRiff::Rewind()
{
    Seek(0);
    m_depth = -1;
    std::memset(m_ends, 0, sizeof(m_ends));
    m_ends[0] = m_fileSize;
    std::memset(m_id, 0, sizeof(m_id));
    std::memset(m_type, 0, sizeof(m_type));
    m_chunkSize = 0;
    m_declaredSize = 0;
    m_dataStart = 0;
}

void FastRiff::EnterList(int64_t offset, int64_t end)
{
    Rewind();
    m_ends[0] = (end >= 0 && end < m_fileSize) ? end : m_fileSize;
    Seek(offset);
}

int64_t FastRiff::Read(void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    int64_t n = m_file.Read(buffer, count);
    m_position += n;
    return n;
}

int64_t FastRiff::ReadItems(void* buffer, int64_t size, int64_t count)
{
    if (size <= 0 || count <= 0 || count > INT64_MAX / size)
        return 0;
    return Read(buffer, size * count);
}

int64_t FastRiff::ReadField(void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    int64_t left = GetChunkEnd() - m_position;
    if (left < 0)
        left = 0;
    int64_t want = count < left ? count : left;
    int64_t n = Read(buffer, want);
    std::memset(static_cast<uint8_t*>(buffer) + n, 0, static_cast<size_t>(count - n));
    // Keep the walk in step even when the file ended early.
    if (n < want)
        Seek(m_position + (want - n));
    return n;
}

uint8_t FastRiff::ReadU8()
{
    uint8_t b[1];
    ReadField(b, 1);
    return b[0];
}

uint16_t FastRiff::ReadU16()
{
    uint8_t b[2];
    ReadField(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t FastRiff::ReadU32()
{
    uint8_t b[4];
    ReadField(b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

bool FastRiff::NextChunk(int level)
{
    if (level < 0 || level >= giga::kRiffLevels || level > m_depth + 1)
        return false;
    const int64_t parentEnd = m_ends[level];  // the enclosing list's end (or the bound)
    if (level <= m_depth) {
        const int64_t end = m_ends[level + 1];
        if (end >= m_fileSize || end >= parentEnd)
            return false;
        Seek(end);
    }
    // Both the sibling and the first-child step stop at the parent's end.
    if (m_position >= parentEnd || m_position >= m_fileSize)
        return false;
    if (parentEnd - m_position < 8)
        Malformed();

    uint8_t header[8];
    if (Read(header, 8) != 8)
        Malformed();
    for (int i = 0; i < 4; ++i) {
        if (!IsIdByte(static_cast<char>(header[i])))
            Malformed();
    }
    std::memcpy(m_id, header, 4);
    int64_t size = static_cast<int64_t>(header[4]) | (static_cast<int64_t>(header[5]) << 8) |
                   (static_cast<int64_t>(header[6]) << 16) | (static_cast<int64_t>(header[7]) << 24);
    m_declaredSize = size;
    m_dataStart = m_position;
    const bool odd = (size & 1) != 0;
    if (odd)
        ++size;
    int64_t end = m_position + size;
    // A last chunk may lack its pad byte; anything longer than its parent is broken.
    if (end > parentEnd) {
        if (!(odd && end == parentEnd + 1 && parentEnd == m_fileSize))
            Malformed();
        end = parentEnd;
    }
    m_chunkSize = size;
    m_depth = level;
    m_ends[level + 1] = end;
    for (int i = level + 2; i <= giga::kRiffLevels; ++i)
        m_ends[i] = 0;

    m_type[0] = 0;
    if (IsChunk("RIFF", nullptr) || IsChunk("FORM", nullptr) || IsChunk("LIST", nullptr)) {
        if (size < 4)
            Malformed();
        if (Read(m_type, 4) != 4)
            Malformed();
    }
    return true;
}

int64_t FastRiff::GetChunkDataSize() const
{
    if (m_depth < 0)
        return 0;
    return std::max<int64_t>(0, std::min(m_declaredSize, GetChunkEnd() - m_dataStart));
}

bool FastRiff::IsChunk(const char* id, const char* type) const
{
    if (id && std::memcmp(id, m_id, 4) != 0)
        return false;
    if (type && std::memcmp(type, m_type, 4) != 0)
        return false;
    return true;
}
