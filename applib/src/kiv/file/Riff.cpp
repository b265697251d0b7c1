#include "kiv/file/Riff.h"

#include <algorithm>
#include <cstring>

namespace {

bool HasFormType(const char* id)
{
    return memcmp(id, "RIFF", 4) == 0 || memcmp(id, "LIST", 4) == 0 || memcmp(id, "FORM", 4) == 0;
}

uint32_t FromLittleEndian(const uint8_t* b)
{
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void ToLittleEndian(uint32_t v, uint8_t* b)
{
    b[0] = static_cast<uint8_t>(v);
    b[1] = static_cast<uint8_t>(v >> 8);
    b[2] = static_cast<uint8_t>(v >> 16);
    b[3] = static_cast<uint8_t>(v >> 24);
}

// A tag of up to 4 characters, blank-padded (as RIFF identifiers are).
void CopyTag(const char* text, char* tag)
{
    size_t n = strnlen(text, 4);
    memcpy(tag, text, n);
    memset(tag + n, ' ', 4 - n);
}

}  // namespace

// ---- CImpRiff ---------------------------------------------------------------

CImpRiff::CImpRiff() = default;

CImpRiff::~CImpRiff() { Close(); }

void CImpRiff::ResetWalk()
{
    m_level = -1;
    m_dataStart = 0;
    m_chunkSize = 0;
    m_id[0] = m_formType[0] = '\0';
    std::fill(std::begin(m_levelEnd), std::end(m_levelEnd), 0);
}

bool CImpRiff::Open(const char* path, bool swapBytes)
{
    Close();
    ResetWalk();
    return UFile::Open(path, swapBytes);
}

bool CImpRiff::OpenMemory(const void* bytes, int64_t size, bool swapBytes)
{
    Close();
    ResetWalk();
    if (!bytes || size <= 0)
        return false;
    m_memory = static_cast<const uint8_t*>(bytes);
    m_path[0] = '\0';
    m_swap = swapBytes;
    m_writing = false;
    m_bytesWritten = 0;
    m_size = size;
    m_position = 0;
    m_open = true;
    return true;
}

int64_t CImpRiff::ReadAt(int64_t pos, void* dst, int64_t n)
{
    if (!m_memory)
        return UFileDisk::ReadAt(pos, dst, n);
    if (!dst || pos < 0 || n <= 0 || pos >= m_size)
        return 0;
    const int64_t take = std::min(n, m_size - pos);
    memcpy(dst, m_memory + pos, static_cast<size_t>(take));
    return take;
}

bool CImpRiff::Close()
{
    m_level = -1;
    const bool ok = UFile::Close();
    m_memory = nullptr;
    return ok;
}

bool CImpRiff::Descend(int level)
{
    if (!IsOpen() || level < 0 || level >= file::kRiffLevels || level > m_level + 1)
        return false;
    if (level <= m_level)
        SetPosition(m_levelEnd[level]);
    // Sibling and first-child steps alike end at the parent's end.
    int64_t parentEnd = level > 0 ? m_levelEnd[level - 1] : GetSize();
    int64_t start = GetPosition();
    if (start >= parentEnd)
        return false;

    uint8_t id[4];
    if (UFile::Read(id, 1, 4) != 4)
        return false;
    for (uint8_t b : id) {
        if (b < 32 || b > 122)
            throw 1;
    }
    uint8_t sizeBytes[4];
    if (UFile::Read(sizeBytes, 4, 1) != 4)
        return false;
    int64_t size = FromLittleEndian(sizeBytes);
    if (m_evenPadding && (size & 1))
        ++size;

    m_level = level;
    m_dataStart = start + 8;
    m_chunkSize = size;
    // A chunk claiming to run past its parent or the file is cut there and
    // is the last of its level; its end always lies after its start, so
    // every sibling step moves forward.
    m_levelEnd[level] = std::min({m_dataStart + size, parentEnd, GetSize()});
    memcpy(m_id, id, 4);
    m_id[4] = '\0';
    m_formType[0] = '\0';
    if (HasFormType(m_id)) {
        char form[4];
        if (UFile::Read(form, 1, 4) == 4) {
            memcpy(m_formType, form, 4);
            m_formType[4] = '\0';
        }
    }
    return true;
}

bool CImpRiff::IsChunk(const char* id, const char* formType) const
{
    if (m_level < 0 || !id || strncmp(m_id, id, 4) != 0)
        return false;
    return !formType || strncmp(m_formType, formType, 4) == 0;
}

bool CImpRiff::Read(void* dst, int64_t size, int64_t count)
{
    return UFile::Read(dst, size, count) > 0;
}

bool CImpRiff::ReadString(char* dst, int len, int capacity)
{
    if (!dst || capacity <= 0)
        return false;
    if (len > 0) {
        int keep = std::min(len, capacity - 1);
        int64_t got = UFile::Read(dst, 1, keep);
        dst[got] = '\0';
        // The rest of a text longer than the buffer is passed over, so the
        // next read starts where the caller expects.
        if (len > keep)
            SetPosition(std::min(GetPosition() + (len - keep), GetSize()));
        return got > 0;
    }
    int n = 0;
    bool any = false;
    char c;
    while (UFile::Read(&c, 1, 1) == 1) {
        any = true;
        if (c == '\0')
            break;
        if (n < capacity - 1)
            dst[n++] = c;
    }
    dst[n] = '\0';
    return any;
}

// ---- CRiffWriter ------------------------------------------------------------

CRiffWriter::CRiffWriter() = default;

CRiffWriter::~CRiffWriter() = default;

bool CRiffWriter::Put(const void* bytes, int64_t n, int64_t itemSize)
{
    int64_t written = Write(bytes, itemSize, n / itemSize);
    for (int i = 0; i < m_openCount; ++i)
        m_chunks[i].written += written;
    return written == n;
}

int64_t CRiffWriter::OpenChunk(const char* id, const char* formType)
{
    if (!IsOpen() || !IsWriting() || m_openCount >= file::kRiffOpenChunks)
        return -1;
    char tag[4];
    if (id) {
        CopyTag(id, tag);
        Put(tag, 4);
    }
    int64_t sizeField = GetPosition();
    const uint8_t placeholder[4] = {};
    Put(placeholder, 4);
    m_chunks[m_openCount++] = {sizeField, 0};
    if (formType) {
        CopyTag(formType, tag);
        Put(tag, 4);
    }
    return sizeField;
}

bool CRiffWriter::CloseChunk()
{
    if (m_openCount == 0)
        return false;
    OpenChunkEntry chunk = m_chunks[--m_openCount];
    bool ok = chunk.written <= UINT32_MAX;
    uint8_t size[4];
    ToLittleEndian(static_cast<uint32_t>(chunk.written), size);
    SetPosition(chunk.sizeField);
    // A patch of bytes already written: counted in no chunk.
    if (Write(size, 4, 1) != 4)
        ok = false;
    SeekEnd();
    if (m_evenPadding && (chunk.written & 1)) {
        const uint8_t pad = 0;
        ok = Put(&pad, 1) && ok;
    }
    return ok;
}

bool CRiffWriter::WriteByte(uint8_t b) { return Put(&b, 1); }

bool CRiffWriter::WriteInt(int32_t i)
{
    uint8_t bytes[4];
    ToLittleEndian(static_cast<uint32_t>(i), bytes);
    return Put(bytes, 4, 4);
}

bool CRiffWriter::WriteFloat(float f)
{
    uint32_t bits;
    memcpy(&bits, &f, 4);
    uint8_t bytes[4];
    ToLittleEndian(bits, bytes);
    return Put(bytes, 4, 4);
}

bool CRiffWriter::WriteString(const char* text, int len)
{
    if (!text)
        text = "";
    int64_t n = len > 0 ? len : static_cast<int64_t>(strlen(text));
    // A text shorter than len is followed by zeros, never by whatever lies
    // after it in memory.
    int64_t have = static_cast<int64_t>(strnlen(text, static_cast<size_t>(n)));
    bool ok = have == 0 || Put(text, have);
    const uint8_t zeros[16] = {};
    for (int64_t left = n - have + (n & 1); left > 0;) {
        int64_t take = std::min<int64_t>(left, sizeof zeros);
        ok = Put(zeros, take) && ok;
        left -= take;
    }
    return ok;
}
