#include "kiv/file/UFile.h"

#include "kiv/file/FileOpen.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using file::kFileBlockBytes;

// ---- UFile ------------------------------------------------------------------

UFile::UFile() = default;

UFile::~UFile() = default;

bool UFile::KeepPath(const char* path)
{
    if (!path)
        return false;
    if (path != m_path.c_str())
        m_path = path;
    return true;
}

bool UFile::Open(const char* path, bool swapBytes)
{
    Close();
    if (!KeepPath(path))
        return false;
    m_swap = swapBytes;
    m_writing = false;
    m_open = OpenRead(m_path.c_str());
    return m_open;
}

int64_t UFile::Read(void* dst, int64_t size, int64_t count)
{
    if (!m_open || !dst || size <= 0 || count <= 0)
        return 0;
    int64_t left = m_size - m_position;
    if (left <= 0)
        return 0;
    int64_t n = count > left / size ? left : size * count;
    int64_t got = ReadAt(m_position, dst, n);
    if (got <= 0)
        return 0;
    m_position += got;
    if (m_swap && size > 1) {
        auto* bytes = static_cast<uint8_t*>(dst);
        for (int64_t i = 0; i + size <= got; i += size)
            SwapBytes(bytes + i, static_cast<int>(size));
    }
    return got;
}

int64_t UFile::Write(const void* src, int64_t size, int64_t count)
{
    if (!m_open || !src || size <= 0 || count <= 0 || count > INT64_MAX / size)
        return 0;
    int64_t n = size * count;
    int64_t written = 0;
    if (m_swap && size > 1 && size <= kFileBlockBytes) {
        // Reversed through a copy: the caller's bytes may be read-only.
        uint8_t reversed[kFileBlockBytes];
        int64_t per = kFileBlockBytes / size * size;
        const auto* bytes = static_cast<const uint8_t*>(src);
        while (written < n) {
            int64_t take = std::min(per, n - written);
            memcpy(reversed, bytes + written, static_cast<size_t>(take));
            for (int64_t i = 0; i < take; i += size)
                SwapBytes(reversed + i, static_cast<int>(size));
            int64_t put = WriteAt(m_position + written, reversed, take);
            if (put > 0)
                written += put;
            if (put != take)
                break;
        }
    } else {
        written = std::max<int64_t>(0, WriteAt(m_position, src, n));
    }
    m_bytesWritten += written;
    m_position += written;
    return written;
}

bool UFile::Close()
{
    if (!m_open)
        return true;
    bool ok = CloseStream();
    m_size = 0;
    m_position = 0;
    m_bytesWritten = 0;
    m_open = false;
    m_writing = false;
    return ok;
}

void UFile::SwapBytes(void* p, int n)
{
    auto* bytes = static_cast<uint8_t*>(p);
    for (int i = 0, j = n - 1; i < j; ++i, --j)
        std::swap(bytes[i], bytes[j]);
}

// ---- UFileDisk --------------------------------------------------------------

UFileDisk::UFileDisk() = default;

UFileDisk::~UFileDisk() { Close(); }

bool UFileDisk::OpenStream(const char* path, const char* mode)
{
    Close();
    if (!KeepPath(path))
        return false;
    bool reading = mode[0] == 'r' && mode[1] != '+';
    int flags = reading ? O_RDONLY : (mode[0] == 'r' ? O_RDWR : O_WRONLY | O_CREAT | O_TRUNC);
    // A folder or a named pipe fails here, never hangs or reads as an empty
    // file later.
    int64_t size = 0;
    int fd = file::OpenRegular(m_path.c_str(), flags, &size);
    if (fd < 0)
        return false;
    FILE* f = fdopen(fd, mode);
    if (!f) {
        close(fd);
        return false;
    }
    if (!m_block)
        m_block = std::make_unique_for_overwrite<uint8_t[]>(kFileBlockBytes);
    setvbuf(f, nullptr, _IONBF, 0);
    m_file = f;
    m_filePos = 0;
    m_size = size;
    m_position = 0;
    m_bytesWritten = 0;
    m_blockIndex = -1;
    m_blockBytes = 0;
    m_clean = true;
    m_failed = false;
    m_open = true;
    m_writing = !reading;
    return true;
}

bool UFileDisk::OpenRead(const char* path) { return OpenStream(path, "rb"); }

bool UFileDisk::OpenWrite(const char* path) { return OpenStream(path, "wb"); }

bool UFileDisk::OpenUpdate(const char* path)
{
    if (!OpenStream(path, "r+b"))
        return false;
    // The pending block starts out as the file's partial last block, so a
    // flush writes back what was there before plus what was appended.
    int64_t tail = m_size % kFileBlockBytes;
    if (tail > 0 && ReadFileAt(PendingStart(), m_block.get(), tail) != tail) {
        Close();
        return false;
    }
    return true;
}

int64_t UFileDisk::ReadFileAt(int64_t pos, void* dst, int64_t n)
{
    if (m_filePos != pos) {
        if (fseeko(m_file, pos, SEEK_SET) != 0) {
            m_filePos = -1;
            return 0;
        }
        m_filePos = pos;
    }
    size_t got = fread(dst, 1, static_cast<size_t>(n), m_file);
    m_filePos += static_cast<int64_t>(got);
    return static_cast<int64_t>(got);
}

bool UFileDisk::WriteFileAt(int64_t pos, const void* src, int64_t n)
{
    if (m_filePos != pos) {
        if (fseeko(m_file, pos, SEEK_SET) != 0) {
            m_filePos = -1;
            m_failed = true;
            return false;
        }
        m_filePos = pos;
    }
    size_t put = fwrite(src, 1, static_cast<size_t>(n), m_file);
    m_filePos += static_cast<int64_t>(put);
    if (put != static_cast<size_t>(n))
        m_failed = true;
    return !m_failed;
}

int64_t UFileDisk::ReadAt(int64_t pos, void* dst, int64_t n)
{
    if (!m_file || !dst || pos < 0 || n <= 0)
        return 0;
    auto* out = static_cast<uint8_t*>(dst);
    if (m_writing)
        return ReadWhileWriting(pos, out, n);
    int64_t copied = 0;
    while (copied < n) {
        int64_t index = pos / kFileBlockBytes;
        int64_t offset = pos % kFileBlockBytes;
        if (index != m_blockIndex) {
            m_blockIndex = index;
            // The last block up to the end only: asking for more costs a
            // second read that just finds the end of the file.
            int64_t start = index * kFileBlockBytes;
            int64_t want = start < m_size ? std::min(kFileBlockBytes, m_size - start) : kFileBlockBytes;
            m_blockBytes = ReadFileAt(start, m_block.get(), want);
        }
        // A block that yields nothing here (end of file, read error) ends
        // the read instead of asking for it again.
        if (offset >= m_blockBytes)
            break;
        int64_t take = std::min(n - copied, m_blockBytes - offset);
        memcpy(out + copied, m_block.get() + offset, static_cast<size_t>(take));
        copied += take;
        pos += take;
    }
    return copied;
}

int64_t UFileDisk::ReadWhileWriting(int64_t pos, uint8_t* dst, int64_t n)
{
    n = std::min(n, m_size - pos);
    if (n <= 0)
        return 0;
    int64_t pending = PendingStart();
    int64_t copied = 0;
    if (pos < pending) {
        int64_t want = std::min(n, pending - pos);
        copied = ReadFileAt(pos, dst, want);
        if (copied != want)
            return copied;
    }
    if (copied < n) {
        int64_t from = pos + copied - pending;
        memcpy(dst + copied, m_block.get() + from, static_cast<size_t>(n - copied));
        copied = n;
    }
    return copied;
}

int64_t UFileDisk::Append(const uint8_t* src, int64_t n)
{
    int64_t done = 0;
    while (done < n) {
        int64_t offset = m_size % kFileBlockBytes;
        int64_t take = std::min(n - done, kFileBlockBytes - offset);
        memcpy(m_block.get() + offset, src + done, static_cast<size_t>(take));
        m_size += take;
        done += take;
        m_clean = false;
        if (m_size % kFileBlockBytes == 0) {
            // A full block goes out at once; it is then clean, so a close
            // never writes it a second time.
            if (!WriteFileAt(m_size - kFileBlockBytes, m_block.get(), kFileBlockBytes))
                return 0;
            m_clean = true;
        }
    }
    return done;
}

int64_t UFileDisk::WriteAt(int64_t pos, const void* src, int64_t n)
{
    if (!m_file || !m_writing || m_failed || !src || pos < 0 || n <= 0)
        return 0;
    const auto* bytes = static_cast<const uint8_t*>(src);
    int64_t done = 0;
    while (done < n) {
        int64_t at = pos + done;
        int64_t left = n - done;
        if (at == m_size) {
            if (Append(bytes + done, left) != left)
                break;
            done += left;
            break;
        }
        if (at > m_size)
            break;  // beyond the end: nothing to patch
        int64_t pending = PendingStart();
        if (at >= pending) {
            // Inside the pending block, up to its filled end at most.
            int64_t take = std::min(left, m_size - at);
            memcpy(m_block.get() + (at - pending), bytes + done, static_cast<size_t>(take));
            m_clean = false;
            done += take;
            continue;
        }
        // Before the pending block: straight to the file, up to the block.
        int64_t take = std::min(left, pending - at);
        if (!WriteFileAt(at, bytes + done, take))
            break;
        done += take;
    }
    return done;
}

int64_t UFileDisk::WriteDirect(int64_t pos, const void* src, int64_t n)
{
    if (!m_file || !src || pos < 0 || n <= 0)
        return 0;
    m_blockIndex = -1;  // the cached copy may now be stale
    if (fseeko(m_file, pos, SEEK_SET) != 0) {
        m_filePos = -1;
        return 0;
    }
    size_t put = fwrite(src, 1, static_cast<size_t>(n), m_file);
    m_filePos = pos + static_cast<int64_t>(put);
    return static_cast<int64_t>(put);
}

bool UFileDisk::FlushBlock()
{
    int64_t tail = m_size % kFileBlockBytes;
    if (m_clean || tail == 0) {
        m_clean = true;
        return !m_failed;
    }
    if (!WriteFileAt(PendingStart(), m_block.get(), tail))
        return false;
    m_clean = true;
    return true;
}

bool UFileDisk::CloseStream()
{
    if (!m_file)
        return true;
    bool ok = true;
    if (m_writing)
        ok = FlushBlock() && fflush(m_file) == 0;
    if (fclose(m_file) != 0)
        ok = false;
    m_file = nullptr;
    m_filePos = -1;
    m_blockIndex = -1;
    m_blockBytes = 0;
    return ok && !m_failed;
}
