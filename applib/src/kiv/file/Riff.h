// CImpRiff walks the chunk tree of a RIFF/IFF file level by level (older
// performance and preset files, the legacy plug-in cache, the utility's
// instrument-name reader) or such an image in memory (older state chunks);
// CRiffWriter writes such files. Both sit on the buffered disk file and
// belong to one thread at a time.
//
// A chunk: 4 identifier bytes, a 32-bit size, the data; "RIFF", "LIST" and
// "FORM" begin their data with a 4-byte form type counted in the size. With
// even padding an odd-sized chunk is followed by one pad byte.
#pragma once
#include "kiv/file/UFile.h"

#include <cstdint>

class CImpRiff : public UFileDisk {
public:
    CImpRiff();
    ~CImpRiff() override;

    bool Open(const char* path, bool swapBytes);
    // Walks a RIFF image in memory instead of a file (a state chunk): the
    // bytes are borrowed and must outlive the reading. False when empty.
    bool OpenMemory(const void* bytes, int64_t size, bool swapBytes);
    bool Close();
    int64_t ReadAt(int64_t pos, void* dst, int64_t n) override;
    void SetEvenPadding(bool on) { m_evenPadding = on; }

    // Moves to the next chunk at level (0..39): the next sibling when level
    // is at or above the current one, else the first child of the current
    // chunk. False when the parent or the file holds no more chunks; a chunk
    // running past its parent or the file is the last of its level. Throws
    // the integer 1 for an identifier byte outside 32..122.
    bool Descend(int level);
    // The current identifier is id and, when formType is given, the current
    // form type is formType (4-byte comparisons).
    bool IsChunk(const char* id, const char* formType = nullptr) const;
    // Reads size*count bytes at the position; true when something was read.
    bool Read(void* dst, int64_t size, int64_t count);
    // len > 0: reads len bytes, keeping what fits in capacity-1 bytes and a
    // NUL. len <= 0: reads bytes up to and including a NUL, keeping what
    // fits. Never writes more than capacity bytes; true when something was
    // read.
    bool ReadString(char* dst, int len, int capacity);

    int GetLevel() const { return m_level; }
    // The stored size (one more when even padding rounds it up).
    int64_t GetChunkSize() const { return m_chunkSize; }
    int64_t GetDataStart() const { return m_dataStart; }
    const char* GetChunkId() const { return m_id; }
    const char* GetFormType() const { return m_formType; }

private:
    void ResetWalk();

    const uint8_t* m_memory = nullptr;  // the image read instead of a file
    bool m_evenPadding = false;
    int64_t m_levelEnd[file::kRiffLevels] = {};
    int m_level = -1;
    int64_t m_dataStart = 0;
    char m_id[5] = {};
    char m_formType[5] = {};
    int64_t m_chunkSize = 0;
};

class CRiffWriter : public UFileDisk {
public:
    CRiffWriter();
    ~CRiffWriter() override;

    void SetEvenPadding(bool on) { m_evenPadding = on; }

    // Writes id (when given) and a size placeholder and opens the chunk;
    // then the form type, when given, as its first data. Returns the offset
    // of the size field, or -1 when 20 chunks are already open.
    int64_t OpenChunk(const char* id, const char* formType = nullptr);
    // Writes the innermost chunk's size into its size field and returns to
    // the end; with even padding an odd size gets one 0 pad byte. False when
    // no chunk is open or the size did not fit or could not be written.
    bool CloseChunk();

    bool WriteByte(uint8_t b);
    bool WriteInt(int32_t i);
    bool WriteFloat(float f);
    // Writes len bytes of text (len 0: its length) without NUL, and one 0
    // byte more when that count is odd.
    bool WriteString(const char* text, int len = 0);

    int GetOpenChunks() const { return m_openCount; }

private:
    // Writes at the end and counts the bytes in every open chunk.
    bool Put(const void* bytes, int64_t n, int64_t itemSize = 1);

    struct OpenChunkEntry {
        int64_t sizeField;
        int64_t written;
    };
    bool m_evenPadding = false;
    int m_openCount = 0;
    OpenChunkEntry m_chunks[file::kRiffOpenChunks] = {};
};
