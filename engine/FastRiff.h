// FastRiff: the engine's RIFF chunk walker over one buffered file. A caller
// enters a list and walks its children with NextChunk(level + 1), siblings with
// NextChunk(level). A malformed chunk (bad id, an end past its parent or the
// file) throws the text "Error in file"; the bank loaders catch it.
// One thread at a time (the loader thread or the GUI thread for the browser).
#pragma once
#include <cstdint>

#include "engine/FastFile.h"
#include "engine/GigaConstants.h"

class FastRiff {
public:
    FastRiff() = default;
    virtual ~FastRiff() = default;
    FastRiff(const FastRiff&) = delete;
    FastRiff& operator=(const FastRiff&) = delete;

    // False when the file does not open or is shorter than 3000 bytes.
    bool OpenRiff(const char* path);
    void Close();
    bool IsOpen() const { return m_file.IsOpen(); }

    void Seek(int64_t offset);
    void Skip(int64_t count);
    // Back to the start of the file, nothing read, the whole file as the bound.
    void Rewind();
    // Rewinds and places the walk inside a list whose data runs from offset to
    // end: level 0 then walks that list's children.
    void EnterList(int64_t offset, int64_t end);

    // Reads at the position; the position advances by the bytes actually read.
    int64_t Read(void* buffer, int64_t count);
    int64_t ReadItems(void* buffer, int64_t size, int64_t count);
    // Reads up to count bytes of the current chunk's data from the position;
    // bytes past the chunk's end read as 0. Returns the bytes taken from the file.
    int64_t ReadField(void* buffer, int64_t count);
    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();

    // Steps to the next chunk at level and reads its header; false at the end
    // of the parent or the file. Throws on a malformed chunk.
    bool NextChunk(int level);
    // id/type null match anything; compared as four bytes in file order.
    bool IsChunk(const char* id, const char* type) const;
    int64_t GetChunkSize() const { return m_chunkSize; }
    // The data bytes the header declares, without the pad byte of an odd
    // chunk, and no more than the chunk holds.
    int64_t GetChunkDataSize() const;
    // The file offset just past the current chunk.
    int64_t GetChunkEnd() const { return m_depth >= 0 ? m_ends[m_depth + 1] : m_ends[0]; }
    int64_t GetPosition() const { return m_position; }
    int64_t GetFileSize() const { return m_fileSize; }
    FastFile& GetFile() { return m_file; }

private:
    FastFileBuffered m_file;
    char m_id[4] = {};
    char m_type[4] = {};
    int64_t m_chunkSize = 0;
    int64_t m_declaredSize = 0;  // the header's size field
    int64_t m_dataStart = 0;     // file offset of the current chunk's data
    int64_t m_fileSize = 0;
    int64_t m_position = 0;
    // m_ends[0] bounds level 0; m_ends[level + 1] is the end of the chunk last
    // read at level.
    int64_t m_ends[giga::kRiffLevels + 1] = {};
    int m_depth = -1;
};
