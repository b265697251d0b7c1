// UFile: the library's random-access file with a tracked size and position
// and optional byte swapping of multi-byte items. UFileDisk keeps it on a
// stdio file without stdio buffering, through its own cache of one 4096-byte
// block: sequential reads and appends cost one fread or fwrite per block.
// One owner thread per object; never used on the audio thread.
#pragma once
#include "kiv/file/FileLimits.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class UFile {
public:
    UFile();
    UFile(const UFile&) = delete;
    UFile& operator=(const UFile&) = delete;
    virtual ~UFile();

    // Closes, keeps the path and the swap setting and opens for reading.
    bool Open(const char* path, bool swapBytes);
    // Reads size*count bytes (clipped to what is left) at the position and
    // advances; with swapping every whole item is byte-reversed. Returns the
    // bytes read.
    int64_t Read(void* dst, int64_t size, int64_t count);
    // Writes size*count bytes at the position and advances; with swapping
    // the items are written byte-reversed (the caller's bytes stay as they
    // are). Returns the bytes written: 0 when not open or nothing was taken.
    int64_t Write(const void* src, int64_t size, int64_t count);
    // Flushes and closes; false when written data did not reach the disk.
    bool Close();

    virtual bool OpenRead(const char* path) = 0;
    virtual int64_t ReadAt(int64_t pos, void* dst, int64_t n) = 0;
    virtual bool OpenWrite(const char* path) = 0;
    virtual int64_t WriteAt(int64_t pos, const void* src, int64_t n) = 0;
    virtual bool OpenUpdate(const char* path) = 0;
    virtual int64_t WriteDirect(int64_t pos, const void* src, int64_t n) = 0;
    virtual bool CloseStream() = 0;

    int64_t GetPosition() const { return m_position; }
    void SetPosition(int64_t pos) { m_position = pos < 0 ? 0 : pos; }
    void SeekEnd() { m_position = m_size; }
    int64_t GetSize() const { return m_size; }
    void SetSize(int64_t size) { m_size = size < 0 ? 0 : size; }
    bool IsOpen() const { return m_open; }
    bool IsWriting() const { return m_writing; }
    void SetSwapBytes(bool swap) { m_swap = swap; }
    int64_t GetBytesWritten() const { return m_bytesWritten; }
    const char* GetPath() const { return m_path.c_str(); }

    static void SwapBytes(void* p, int n);

protected:
    // Keeps the path for the open operations; false for none. Its length
    // is the system's to judge when the file is opened.
    bool KeepPath(const char* path);

    std::string m_path;
    bool m_swap = false;
    bool m_open = false;
    bool m_writing = false;
    int64_t m_bytesWritten = 0;
    int64_t m_size = 0;
    int64_t m_position = 0;
};

class UFileDisk : public UFile {
public:
    UFileDisk();
    ~UFileDisk() override;

    bool OpenRead(const char* path) override;
    int64_t ReadAt(int64_t pos, void* dst, int64_t n) override;
    // Creates or empties the file; it is then open and being written.
    bool OpenWrite(const char* path) override;
    int64_t WriteAt(int64_t pos, const void* src, int64_t n) override;
    // Opens an existing file for reading and writing; open and being written.
    bool OpenUpdate(const char* path) override;
    int64_t WriteDirect(int64_t pos, const void* src, int64_t n) override;
    bool CloseStream() override;

private:
    bool OpenStream(const char* path, const char* mode);
    bool FlushBlock();
    // Start of the pending (partly filled) last block of a writer.
    int64_t PendingStart() const { return m_size - m_size % file::kFileBlockBytes; }
    int64_t ReadWhileWriting(int64_t pos, uint8_t* dst, int64_t n);
    int64_t Append(const uint8_t* src, int64_t n);
    int64_t ReadFileAt(int64_t pos, void* dst, int64_t n);
    bool WriteFileAt(int64_t pos, const void* src, int64_t n);

    FILE* m_file = nullptr;
    std::unique_ptr<uint8_t[]> m_block;
    int64_t m_blockBytes = 0;   // bytes held by the cached block
    int64_t m_blockIndex = -1;  // index of the cached block, -1 none
    int64_t m_filePos = -1;     // where the stdio file stands, -1 unknown
    bool m_clean = true;        // the pending block is on disk
    bool m_failed = false;      // a write to the disk failed
};
