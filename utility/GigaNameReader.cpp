#include "utility/GigaNameReader.h"

#include "kiv/file/Riff.h"
#include "utility/CorvaneLimits.h"

#include <algorithm>
#include <cstdint>

namespace {

// Reads the current chunk's data as text into a buffer of capacity bytes
// (what does not fit is left: the next chunk is found from the chunk's end).
void ReadChunkText(CImpRiff& riff, char* text, int capacity)
{
    text[0] = '\0';
    int64_t size = std::min<int64_t>(riff.GetChunkSize(), capacity - 1);
    if (size > 0)
        riff.ReadString(text, static_cast<int>(size), capacity);
}

bool HasVisibleText(const char* text)
{
    for (; *text; ++text) {
        if (*text != ' ' && *text != '\t')
            return true;
    }
    return false;
}

}  // namespace

GigaNameReader::GigaNameReader() = default;

GigaNameReader::~GigaNameReader() = default;

void GigaNameReader::OnKeyword(const char*) {}

void GigaNameReader::OnInstrument(const char*, int) {}

void GigaNameReader::MapName(char* name)
{
    for (unsigned char* c = reinterpret_cast<unsigned char*>(name); *c; ++c) {
        if (*c == 0xB4)
            *c = '\'';
        else if (*c >= 0x80)
            *c = ' ';
    }
}

int GigaNameReader::ReadGigaFile(const char* path)
{
    CImpRiff riff;
    if (!path || !riff.Open(path, false))
        return kCannotOpen;
    // DLS files pad odd-sized chunks to an even size; without this a keyword
    // or name of odd size would leave the reader inside the pad byte.
    riff.SetEvenPadding(true);
    try {
        return ReadChunks(riff);
    } catch (...) {
        return kMalformed;
    }
}

int GigaNameReader::ReadChunks(CImpRiff& riff)
{
    if (!riff.Descend(0) || !riff.IsChunk("RIFF", "DLS "))
        return kNotDls;
    if (riff.GetSize() < riff.GetChunkSize() + 8)
        return kTruncated;

    int64_t count = -1;  // no 'colh' yet: no limit
    int position = 0;
    bool namesRead = false;
    bool keywordRead = false;
    while (riff.Descend(1)) {
        if (riff.IsChunk("LIST", "INFO")) {
            if (!keywordRead)
                keywordRead = ReadKeyword(riff);
        } else if (namesRead) {
            // After the names only a keyword further on is still looked for.
            continue;
        } else if (riff.IsChunk("colh")) {
            uint8_t bytes[4] = {};
            if (riff.GetChunkSize() >= 4 && riff.UFile::Read(bytes, 1, 4) == 4)
                count = static_cast<int64_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16) |
                        static_cast<int64_t>(bytes[3]) << 24;
            if (count == 0)
                return kNoInstruments;
        } else if (riff.IsChunk("LIST", "lins")) {
            // The list type is counted in the size: 4 bytes hold no instrument.
            if (riff.GetChunkSize() <= 4)
                return kEmptyList;
            ReadInstruments(riff, count, position);
            namesRead = true;
        }
    }
    return kRead;
}

bool GigaNameReader::ReadKeyword(CImpRiff& riff)
{
    char keyword[corvane::kNameTextBytes];
    while (riff.Descend(2)) {
        if (!riff.IsChunk("IKEY") || riff.GetChunkSize() == 0)
            continue;
        ReadChunkText(riff, keyword, sizeof keyword);
        if (keyword[0])
            OnKeyword(keyword);
        return true;
    }
    return false;
}

bool GigaNameReader::ReadInstruments(CImpRiff& riff, int64_t count, int& position)
{
    char name[corvane::kNameTextBytes];
    while (riff.Descend(2)) {
        if (!riff.IsChunk("LIST", "ins "))
            continue;
        bool named = false;
        while (!named && riff.Descend(3)) {
            if (!riff.IsChunk("LIST", "INFO"))
                continue;
            while (riff.Descend(4)) {
                if (!riff.IsChunk("INAM"))
                    continue;
                ReadChunkText(riff, name, sizeof name);
                MapName(name);
                // A name chunk with nothing to show names nothing: the
                // instrument is unnamed, as one without the chunk.
                if (HasVisibleText(name))
                    OnInstrument(name, position);
                named = true;
                break;
            }
        }
        // Every instrument has its place, named or not: the engine loads an
        // instrument by this position.
        ++position;
        if (count >= 0 && position >= count)
            return true;
    }
    return false;
}
