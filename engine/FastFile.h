// FastFile: a read-only file with a size and a position of its own, read with
// pread so that several readers of one descriptor never share a file pointer.
// FastFileBuffered adds one 4096-byte read cache for chunk headers and small
// fields. Each object is used by one thread at a time; ReadAt is safe to call
// from several threads at once (the preloading loader and the disk thread).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

class FastFile {
public:
    FastFile() = default;
    virtual ~FastFile();
    FastFile(const FastFile&) = delete;
    FastFile& operator=(const FastFile&) = delete;

    // Closes an open file first; opens a regular file for reading. False when
    // it cannot be opened or is no regular file (a folder, a named pipe, a
    // device: refused without waiting).
    bool Open(const char* path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Reads at the position; the position advances by the bytes actually read.
    int64_t Read(void* buffer, int64_t count);
    void Seek(int64_t offset) { m_position = offset; }
    // Reads at offset without touching the position; short at the end of file.
    int64_t ReadAt(int64_t offset, void* buffer, int64_t count) const;

    int64_t GetSize() const { return m_size; }
    int64_t GetPosition() const { return m_position; }

private:
    int m_fd = -1;
    int64_t m_size = 0;
    int64_t m_position = 0;
};

class FastFileBuffered : public FastFile {
public:
    FastFileBuffered();
    ~FastFileBuffered() override;

    bool Open(const char* path);
    // Copies up to count bytes from the logical position; returns the bytes
    // copied (short only at the end of the file).
    int64_t Read(void* buffer, int64_t count);
    // Inside the cached window the cache is kept; elsewhere it is emptied.
    void Seek(int64_t offset);
    int64_t GetPosition() const { return m_logical; }

private:
    void Empty();
    bool Fill();

    struct AlignedFree {
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t, AlignedFree> m_cache;
    int64_t m_logical = 0;     // where the next read starts
    int64_t m_windowStart = 0; // file offset of the first cached byte
    int64_t m_valid = 0;       // bytes the last fill put into the cache
};
