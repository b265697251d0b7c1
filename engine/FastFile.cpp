#include "engine/FastFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/GigaConstants.h"
#include "kiv/file/FileOpen.h"

FastFile::~FastFile()
{
    Close();
}

bool FastFile::Open(const char* path)
{
    Close();
    // A pipe or device named as a bank is refused at once, never waited on.
    int64_t size = 0;
    int fd = file::OpenForReading(path, &size);
    if (fd < 0)
        return false;
    m_fd = fd;
    m_size = size;
    m_position = 0;
    return true;
}

void FastFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
    m_position = 0;
}

int64_t FastFile::ReadAt(int64_t offset, void* buffer, int64_t count) const
{
    if (m_fd < 0 || offset < 0 || count <= 0)
        return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(m_fd, out + done, static_cast<size_t>(count - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t FastFile::Read(void* buffer, int64_t count)
{
    int64_t n = ReadAt(m_position, buffer, count);
    m_position += n;
    return n;
}

void FastFileBuffered::AlignedFree::operator()(uint8_t* p) const
{
    std::free(p);
}

FastFileBuffered::FastFileBuffered()
    : m_cache(static_cast<uint8_t*>(std::aligned_alloc(16, giga::kFastCacheBytes)))
{
}

FastFileBuffered::~FastFileBuffered() = default;

bool FastFileBuffered::Open(const char* path)
{
    Empty();
    m_logical = 0;
    m_windowStart = 0;
    return FastFile::Open(path);
}

void FastFileBuffered::Empty()
{
    m_valid = 0;
    m_windowStart = m_logical;
}

bool FastFileBuffered::Fill()
{
    m_windowStart = m_logical;
    m_valid = ReadAt(m_windowStart, m_cache.get(), giga::kFastCacheBytes);
    return m_valid > 0;
}

int64_t FastFileBuffered::Read(void* buffer, int64_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        int64_t offset = m_logical - m_windowStart;
        if (offset < 0 || offset >= m_valid) {
            // A large read past the cache goes straight to the file.
            if (count - done >= giga::kFastCacheBytes) {
                int64_t n = ReadAt(m_logical, out + done, count - done);
                done += n;
                m_logical += n;
                Empty();
                break;
            }
            if (!Fill())
                break;  // end of file: the read ends short
            offset = 0;
        }
        int64_t n = m_valid - offset;
        if (n > count - done)
            n = count - done;
        std::memcpy(out + done, m_cache.get() + offset, static_cast<size_t>(n));
        done += n;
        m_logical += n;
    }
    return done;
}

void FastFileBuffered::Seek(int64_t offset)
{
    if (offset >= m_windowStart && offset < m_windowStart + m_valid) {
        m_logical = offset;
        return;
    }
    m_logical = offset;
    Empty();
}
