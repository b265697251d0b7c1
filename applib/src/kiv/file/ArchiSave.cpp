#include "kiv/file/Archive.h"

#include "kiv/file/SafeFile.h"

#include <climits>
#include <cstring>

using namespace archi;

namespace {

void PutWord(uint8_t* out, uint32_t word)
{
    out[0] = static_cast<uint8_t>(word);
    out[1] = static_cast<uint8_t>(word >> 8);
    out[2] = static_cast<uint8_t>(word >> 16);
    out[3] = static_cast<uint8_t>(word >> 24);
}

}  // namespace

bool ArchiSave::SaveFile(Archivable* root, uint32_t type, const char* path)
{
    file::SafeFile out;
    if (!out.Open(path))
        return false;
    m_target = nullptr;
    m_file = out.File();
    struct FileReset {
        FILE*& file;
        ~FileReset() { file = nullptr; }
    } reset{m_file};
    SaveRoot(root, type);
    if (m_writeFailed)
        return false;
    return out.Commit();
}

bool ArchiSave::SaveMemory(Archivable* root, uint32_t type, kiv::data& block)
{
    // The writing pass runs the objects' Archive operations again; when it
    // does not come out at the measured size, measure again rather than
    // write past the block.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int64_t size = Measure(root, type);
        if (size <= 0 || size > INT_MAX)
            return false;
        kiv::data image;
        if (!image.Alloc(static_cast<int>(size)) || !image.GetBytes())
            return false;
        m_file = nullptr;
        m_target = image.GetBytes();
        m_targetSize = size;
        struct TargetReset {
            uint8_t*& target;
            ~TargetReset() { target = nullptr; }
        } reset{m_target};
        SaveRoot(root, type);
        if (!m_overflow && m_count == size) {
            block = std::move(image);
            return true;
        }
    }
    return false;
}

int64_t ArchiSave::Measure(Archivable* root, uint32_t type)
{
    m_file = nullptr;
    m_target = nullptr;
    SaveRoot(root, type);
    return m_count;
}

void ArchiSave::SaveRoot(Archivable* root, uint32_t type)
{
    m_count = 0;
    m_writeFailed = false;
    m_overflow = false;
    TagNumber(type);  // a bad archive type throws before anything is written
    WriteWord(kMagic);
    WriteWord(type);
    WriteWord(0);
    ExchangeObject(root, type);
    WriteHeader(kMagic, kTypeEndOfArchive, 0);
}

void ArchiSave::WriteRaw(const void* bytes, uint32_t count)
{
    if (count == 0)
        return;
    if (m_file && fwrite(bytes, 1, count, m_file) != count)
        m_writeFailed = true;
    if (m_target) {
        if (m_count + count > m_targetSize)
            m_overflow = true;
        else if (!m_overflow)
            memcpy(m_target + m_count, bytes, count);
    }
    m_count += count;
}

// A one-byte integer; 0 takes no bytes.
void ArchiSave::WriteByteValue(uint32_t tag, uint8_t byte)
{
    WriteHeader(tag, kTypeInt, byte ? 1 : 0);
    WriteRaw(&byte, byte ? 1 : 0);
}

void ArchiSave::WriteWord(uint32_t word)
{
    uint8_t out[4];
    PutWord(out, word);
    WriteRaw(out, 4);
}

void ArchiSave::WriteHeader(uint32_t tag, uint32_t type, uint32_t length)
{
    const uint32_t lengthByte = length < kLongLength ? length : kLongLength;
    WriteWord((TagNumber(tag) << kTagShift) | (type & kTypeMask) | lengthByte);
    if (lengthByte == kLongLength)
        WriteWord(length);
}

bool ArchiSave::ExchangeVersion(int current, int older, int oldest)
{
    WriteHeader(kVersionTag, kTypeVersion, kVersionHeaderLength);
    WriteWord(static_cast<uint32_t>(current));
    WriteWord(static_cast<uint32_t>(older));
    WriteWord(static_cast<uint32_t>(oldest));
    return true;
}

bool ArchiSave::SkipObject(uint32_t)
{
    return false;  // only a loader passes over objects
}

bool ArchiSave::ExchangeData(kiv::data& block, uint32_t tag)
{
    const uint32_t size = block.GetBytes() && block.GetSize() > 0 ? static_cast<uint32_t>(block.GetSize()) : 0;
    WriteHeader(tag, kTypeData, size);
    WriteRaw(block.GetBytes(), size);
    return true;
}

bool ArchiSave::ExchangeString(kiv::string& text, uint32_t tag)
{
    const uint32_t length = text.GetText() && text.GetLength() > 0 ? static_cast<uint32_t>(text.GetLength()) : 0;
    WriteHeader(tag, kTypeString, length);
    WriteRaw(text.GetText(), length);
    return true;
}

bool ArchiSave::ExchangeChars(char* buffer, int size, uint32_t tag)
{
    // Bounded by the buffer even when it holds no NUL.
    const uint32_t length = buffer && size > 0 ? static_cast<uint32_t>(strnlen(buffer, static_cast<size_t>(size))) : 0;
    WriteHeader(tag, kTypeChars, length);
    WriteRaw(buffer, length);
    return true;
}

bool ArchiSave::ExchangeDouble(double& value, uint32_t tag)
{
    uint64_t bits;
    memcpy(&bits, &value, 8);
    WriteHeader(tag, kTypeReal, 8);
    WriteWord(static_cast<uint32_t>(bits));
    WriteWord(static_cast<uint32_t>(bits >> 32));
    return true;
}

bool ArchiSave::ExchangeFloat(float& value, uint32_t tag)
{
    uint32_t bits;
    memcpy(&bits, &value, 4);
    WriteHeader(tag, kTypeReal, 4);
    WriteWord(bits);
    return true;
}

bool ArchiSave::ExchangeInt(int& value, uint32_t tag)
{
    // The smallest signed width that holds the value; 0 takes no bytes.
    uint32_t width = 4;
    if (value == 0)
        width = 0;
    else if (value >= -128 && value <= 127)
        width = 1;
    else if (value >= -32768 && value <= 32767)
        width = 2;
    uint8_t out[4];
    PutWord(out, static_cast<uint32_t>(value));
    WriteHeader(tag, kTypeInt, width);
    WriteRaw(out, width);
    return true;
}

bool ArchiSave::ExchangeChar(char& value, uint32_t tag)
{
    WriteByteValue(tag, static_cast<uint8_t>(value));
    return true;
}

bool ArchiSave::ExchangeBool(bool& value, uint32_t tag)
{
    WriteByteValue(tag, value ? 1 : 0);
    return true;
}

bool ArchiSave::BeginObject(uint32_t tag)
{
    WriteHeader(tag, kTypeBegin, 0);
    return true;
}

bool ArchiSave::EndObject(uint32_t tag)
{
    WriteHeader(tag, kTypeEnd, 0);
    return true;
}
