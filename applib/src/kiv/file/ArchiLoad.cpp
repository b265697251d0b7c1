#include "kiv/file/Archive.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "kiv/file/FileOpen.h"

using namespace archi;

namespace {

uint32_t GetWord(const uint8_t* in)
{
    return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
           (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

}  // namespace

bool ArchiLoad::LoadFile(Archivable* root, uint32_t type, const char* path)
{
    if (!path)
        return false;
    int64_t size = 0;
    FILE* file = file::OpenStreamForReading(path, &size);
    if (!file)
        return false;
    Reset();
    m_file = file;
    m_left = size;
    const bool ok = LoadRoot(root, type);
    fclose(file);
    m_file = nullptr;
    m_left = 0;
    return ok;
}

bool ArchiLoad::LoadMemory(Archivable* root, uint32_t type, const kiv::data& block)
{
    Reset();
    m_source = block.GetBytes();
    m_left = m_source && block.GetSize() > 0 ? block.GetSize() : 0;
    const bool ok = LoadRoot(root, type);
    m_source = nullptr;
    m_left = 0;
    return ok;
}

void ArchiLoad::Reset()
{
    m_file = nullptr;
    m_source = nullptr;
    m_left = 0;
    m_hasPending = false;
    m_payloadLeft = 0;
    m_ended = false;
    m_failed = false;
}

bool ArchiLoad::LoadRoot(Archivable* root, uint32_t type)
{
    try {
        uint32_t word = 0;
        if (!ReadWord(word) || word != kMagic)
            return false;
        if (!ReadWord(word) || word != type)
            return false;
        if (!ReadWord(word))  // reserved
            return false;
        if (!ExchangeObject(root, type))
            return false;
        // The closing header is not read; an archive cut short or malformed
        // inside its root object is not a success.
        return !m_failed;
    } catch (...) {
        return false;
    }
}

bool ArchiLoad::Fail()
{
    m_ended = true;
    m_failed = true;
    m_payloadLeft = 0;
    return false;
}

bool ArchiLoad::ReadRaw(void* bytes, uint32_t count)
{
    if (count > m_left)
        return false;
    if (m_file) {
        if (fread(bytes, 1, count, m_file) != count) {
            m_left = 0;
            return false;
        }
    } else {
        memcpy(bytes, m_source, count);
        m_source += count;
    }
    m_left -= count;
    return true;
}

bool ArchiLoad::SkipRaw(uint32_t count)
{
    if (count > m_left)
        return false;
    if (m_file) {
        if (fseeko(m_file, static_cast<off_t>(count), SEEK_CUR) != 0) {
            m_left = 0;
            return false;
        }
    } else {
        m_source += count;
    }
    m_left -= count;
    return true;
}

bool ArchiLoad::ReadWord(uint32_t& word)
{
    uint8_t in[4];
    if (!ReadRaw(in, 4))
        return false;
    word = GetWord(in);
    return true;
}

bool ArchiLoad::ReadHeader(Header& header)
{
    if (m_ended)
        return false;
    // Too few bytes for a header: there are no more values. A well-formed
    // archive never gets here, since its root's end marker and the closing
    // header stand before the end.
    uint32_t word = 0;
    if (!ReadWord(word))
        return Fail();
    header.tag = word >> kTagShift;
    header.type = word & kTypeMask;
    header.length = word & kLengthMask;
    if (header.length == kLongLength && !ReadWord(header.length))
        return Fail();
    header.payload = header.type == kTypeVersion ? kVersionPayloadBytes : header.length;
    // A length beyond the bytes left is a malformed archive, not a value.
    if (header.payload > m_left)
        return Fail();
    return true;
}

bool ArchiLoad::Take(uint32_t tag)
{
    const uint32_t number = TagNumber(tag);
    if (m_ended)
        return false;
    if (!m_hasPending) {
        if (!ReadHeader(m_pending))
            return false;
        m_hasPending = true;
    }
    if (m_pending.tag != number)
        return false;  // stays pending for the next request
    m_value = m_pending;
    m_hasPending = false;
    m_payloadLeft = m_value.payload;
    return true;
}

bool ArchiLoad::ReadPayload(void* bytes, uint32_t count)
{
    if (count > m_payloadLeft)
        return false;
    if (!ReadRaw(bytes, count))
        return Fail();
    m_payloadLeft -= count;
    return true;
}

bool ArchiLoad::FinishValue()
{
    // Whatever width the caller expected, the stream moves past exactly the
    // stored payload.
    const uint32_t rest = m_payloadLeft;
    m_payloadLeft = 0;
    if (rest > 0 && !SkipRaw(rest))
        return Fail();
    return !m_failed;
}

uint32_t ArchiLoad::ValueLength() const
{
    // A version value states 4 bytes and carries 12; never more than is there.
    return std::min(m_value.length, m_payloadLeft);
}

// A one-byte integer: no payload stands for 0, a longer one is passed over.
bool ArchiLoad::ReadByteValue(uint32_t tag, uint8_t& byte)
{
    if (!Take(tag))
        return false;
    const bool ok = ValueLength() == 0 || ReadPayload(&byte, 1);
    return FinishValue() && ok;
}

bool ArchiLoad::ExchangeVersion(int current, int older, int oldest)
{
    if (!Take(kVersionTag))
        return false;
    bool match = false;
    uint8_t in[kVersionPayloadBytes];
    if (m_value.type == kTypeVersionSingle) {
        if (ReadPayload(in, 4))
            match = static_cast<int32_t>(GetWord(in)) == current;
    } else if (m_value.type == kTypeVersion) {
        if (ReadPayload(in, kVersionPayloadBytes)) {
            match = static_cast<int32_t>(GetWord(in)) == current ||
                    static_cast<int32_t>(GetWord(in + 4)) == older ||
                    static_cast<int32_t>(GetWord(in + 8)) == oldest;
        }
    }
    return FinishValue() && match;
}

bool ArchiLoad::SkipObject(uint32_t tag)
{
    if (!Take(tag))
        return false;
    const uint32_t number = m_value.tag;
    const bool isBegin = m_value.type == kTypeBegin;
    if (!FinishValue() || !isBegin)
        return false;
    // Pass over everything up to the next header with the same tag. Every
    // step consumes at least a header, and the data ends, so this ends.
    Header header;
    while (ReadHeader(header)) {
        if (!SkipRaw(header.payload))
            return Fail();
        if (header.tag == number)
            return header.type == kTypeEnd;
    }
    return false;
}

bool ArchiLoad::ExchangeData(kiv::data& block, uint32_t tag)
{
    if (!Take(tag))
        return false;
    const uint32_t length = ValueLength();
    if (length == 0)
        return FinishValue();  // the block stays as it was
    if (length > static_cast<uint32_t>(INT_MAX)) {
        FinishValue();
        return false;
    }
    kiv::data bytes;
    if (!bytes.Alloc(static_cast<int>(length)) || !bytes.GetBytes()) {
        FinishValue();
        return false;
    }
    if (!ReadPayload(bytes.GetBytes(), length) || !FinishValue())
        return false;
    block = std::move(bytes);
    return true;
}

bool ArchiLoad::ExchangeString(kiv::string& text, uint32_t tag)
{
    if (!Take(tag))
        return false;
    text.Clear();
    const uint32_t length = ValueLength();
    if (length == 0)
        return FinishValue();
    if (length >= static_cast<uint32_t>(INT_MAX)) {
        FinishValue();
        return false;
    }
    const int size = static_cast<int>(length) + 1;
    text.Reserve(size);
    char* buffer = text.GetBuffer();
    if (!buffer || text.GetCapacity() < size) {
        FinishValue();
        return false;
    }
    const bool ok = ReadPayload(buffer, length);
    buffer[ok ? length : 0] = 0;
    text.UpdateLength();  // a stored NUL ends the text early
    return FinishValue() && ok;
}

bool ArchiLoad::ExchangeChars(char* buffer, int size, uint32_t tag)
{
    if (!Take(tag))
        return false;
    if (!buffer || size <= 0) {
        FinishValue();
        return false;
    }
    // A text longer than the buffer is cut to fit; the rest is passed over.
    const uint32_t length = std::min(ValueLength(), static_cast<uint32_t>(size - 1));
    const bool ok = ReadPayload(buffer, length);
    buffer[ok ? length : 0] = 0;
    return FinishValue() && ok;
}

bool ArchiLoad::ExchangeDouble(double& value, uint32_t tag)
{
    if (!Take(tag))
        return false;
    uint8_t in[8];
    const bool ok = ValueLength() == 8 && ReadPayload(in, 8);
    if (!FinishValue() || !ok)
        return false;
    const uint64_t bits = static_cast<uint64_t>(GetWord(in)) | (static_cast<uint64_t>(GetWord(in + 4)) << 32);
    memcpy(&value, &bits, 8);
    return true;
}

bool ArchiLoad::ExchangeFloat(float& value, uint32_t tag)
{
    if (!Take(tag))
        return false;
    uint8_t in[4];
    const bool ok = ValueLength() == 4 && ReadPayload(in, 4);
    if (!FinishValue() || !ok)
        return false;
    const uint32_t bits = GetWord(in);
    memcpy(&value, &bits, 4);
    return true;
}

bool ArchiLoad::ExchangeInt(int& value, uint32_t tag)
{
    if (!Take(tag))
        return false;
    const uint32_t length = ValueLength();
    uint8_t in[4] = {0, 0, 0, 0};
    int result = 0;
    bool ok = true;
    if (length == 1) {
        ok = ReadPayload(in, 1);
        result = static_cast<int8_t>(in[0]);
    } else if (length == 2) {
        ok = ReadPayload(in, 2);
        result = static_cast<int16_t>(static_cast<uint16_t>(in[0] | (in[1] << 8)));
    } else if (length >= 4) {
        ok = ReadPayload(in, 4);
        result = static_cast<int32_t>(GetWord(in));
    } else if (length == 3) {
        ok = false;  // no width the writer uses
    }
    if (!FinishValue() || !ok)
        return false;
    value = result;
    return true;
}

bool ArchiLoad::ExchangeChar(char& value, uint32_t tag)
{
    uint8_t byte = 0;
    if (!ReadByteValue(tag, byte))
        return false;
    value = static_cast<char>(byte);
    return true;
}

bool ArchiLoad::ExchangeBool(bool& value, uint32_t tag)
{
    uint8_t byte = 0;
    if (!ReadByteValue(tag, byte))
        return false;
    value = byte != 0;
    return true;
}

bool ArchiLoad::BeginObject(uint32_t tag)
{
    if (!Take(tag))
        return false;
    const bool isBegin = m_value.type == kTypeBegin;
    return FinishValue() && isBegin;
}

bool ArchiLoad::EndObject(uint32_t tag)
{
    if (!Take(tag))
        return false;
    const bool isEnd = m_value.type == kTypeEnd;
    return FinishValue() && isEnd;
}
