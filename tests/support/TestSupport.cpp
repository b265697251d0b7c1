#include "support/TestSupport.h"

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>
#include <cerrno>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KIV_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KIV_TEST_SANITIZED 1
#endif
#endif

namespace {
thread_local long t_allocations = 0;
thread_local bool t_armed = false;
// OthersOutOfMemory: the smallest refused request (0: none) and the thread
// that is spared.
std::atomic<size_t> g_refuseFrom{0};
std::atomic<long> g_refused{0};
thread_local bool t_spared = false;

inline bool Refused(size_t n)
{
    const size_t from = g_refuseFrom.load(std::memory_order_acquire);
    if (from == 0 || n < from || t_spared)
        return false;
    g_refused.fetch_add(1, std::memory_order_relaxed);
    return true;
}

inline void Note()
{
    if (t_armed)
        ++t_allocations;
}
}  // namespace

// ---- the replaced allocator -------------------------------------------------

#ifndef KIV_TEST_SANITIZED
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t n)
{
    Note();
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t m)
{
    Note();
    return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n)
{
    Note();
    return __libc_realloc(p, n);
}
int posix_memalign(void** out, size_t align, size_t n)
{
    Note();
    void* p = __libc_memalign(align, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
void* aligned_alloc(size_t align, size_t n)
{
    Note();
    return __libc_memalign(align, n);
}
}
#endif

// The uncounted allocator underneath (so one new counts once).
static void* RawMalloc(size_t n)
{
#ifndef KIV_TEST_SANITIZED
    return __libc_malloc(n);
#else
    return std::malloc(n);
#endif
}

static void* RawMemalign(size_t align, size_t n)
{
#ifndef KIV_TEST_SANITIZED
    return __libc_memalign(align, n);
#else
    return std::aligned_alloc(align, n);
#endif
}

static void* CountedNew(size_t n)
{
    Note();
    if (Refused(n))
        throw std::bad_alloc();
    if (n == 0)
        n = 1;
    void* p = RawMalloc(n);
    if (!p)
        throw std::bad_alloc();
    return p;
}

static void* CountedAlignedNew(size_t n, std::align_val_t a)
{
    Note();
    if (Refused(n))
        throw std::bad_alloc();
    size_t align = static_cast<size_t>(a);
    size_t size = (n + align - 1) / align * align;
    void* p = RawMemalign(align, size ? size : align);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void* operator new(size_t n) { return CountedNew(n); }
void* operator new[](size_t n) { return CountedNew(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
    try {
        return CountedNew(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept
{
    try {
        return CountedNew(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(size_t n, std::align_val_t a) { return CountedAlignedNew(n, a); }
void* operator new[](size_t n, std::align_val_t a) { return CountedAlignedNew(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { std::free(p); }

namespace kivtest {

AllocCounter::AllocCounter() : m_start(t_allocations), m_wasArmed(t_armed)
{
    t_armed = true;
}

AllocCounter::~AllocCounter() { t_armed = m_wasArmed; }

long AllocCounter::Count() const { return t_allocations - m_start; }

OthersOutOfMemory::OthersOutOfMemory(size_t bytes)
{
    t_spared = true;
    g_refused.store(0, std::memory_order_relaxed);
    g_refuseFrom.store(bytes > 0 ? bytes : 1, std::memory_order_release);
}

OthersOutOfMemory::~OthersOutOfMemory()
{
    g_refuseFrom.store(0, std::memory_order_release);
    t_spared = false;
}

long OthersOutOfMemory::Refused() const { return g_refused.load(std::memory_order_relaxed); }

PinnedThread::PinnedThread(int count)
{
    cpu_set_t now;
    CPU_ZERO(&now);
    if (count <= 0 || sched_getaffinity(0, sizeof now, &now) != 0 || CPU_COUNT(&now) < count)
        return;
    cpu_set_t pinned;
    CPU_ZERO(&pinned);
    for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < count; ++cpu) {
        if (CPU_ISSET(cpu, &now)) {
            CPU_SET(cpu, &pinned);
            ++taken;
        }
    }
    if (sched_setaffinity(0, sizeof pinned, &pinned) != 0)
        return;
    m_saved.assign(reinterpret_cast<unsigned char*>(&now), reinterpret_cast<unsigned char*>(&now) + sizeof now);
    m_pinned = true;
}

PinnedThread::~PinnedThread()
{
    if (m_pinned)
        sched_setaffinity(0, m_saved.size(), reinterpret_cast<const cpu_set_t*>(m_saved.data()));
}

TempDir::TempDir()
{
    const char* home = getenv("HOME");
    std::string base = std::string(home && *home ? home : "/tmp") + "/tmp";
    std::filesystem::create_directories(base);
    std::string pattern = base + "/t-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (mkdtemp(buf.data()))
        m_path = buf.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!m_path.empty() && !getenv("KIV_KEEP_TESTHOME"))
        std::filesystem::remove_all(m_path, ec);
}

bool WriteFile(const std::string& path, const void* bytes, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = size == 0 || fwrite(bytes, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

namespace {
constexpr uid_t kNobody = 65534;
}

AsOrdinaryUser::AsOrdinaryUser()
{
    if (geteuid() != 0)
        return;
    // The group first: once the user is no longer the superuser it may not
    // change its group. Saved ids stay 0, so the destructor can return.
    m_ok = setegid(kNobody) == 0 && seteuid(kNobody) == 0;
    m_switched = m_ok;
    if (!m_ok)
        (void)setegid(0);
}

AsOrdinaryUser::~AsOrdinaryUser()
{
    if (!m_switched)
        return;
    if (seteuid(0) != 0 || setegid(0) != 0)
        std::abort();  // the rest of the program would run with the wrong rights
}

bool OpenToOrdinaryUser(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (chmod(folder.c_str(), 0777) != 0)
        return false;
    const char* home = getenv("HOME");
    if (!home || !*home)
        return true;
    const std::filesystem::path top = std::filesystem::path(home).parent_path();
    for (std::filesystem::path at = std::filesystem::path(folder).parent_path(); at.has_relative_path() && at != top;
         at = at.parent_path()) {
        if (at.string().rfind(home, 0) != 0)
            break;  // outside the home: left as the machine has it
        struct stat st;
        if (stat(at.c_str(), &st) != 0 || chmod(at.c_str(), (st.st_mode & 07777) | 0011) != 0)
            return false;
    }
    return true;
}

std::string Numbered(const char* text, long long number)
{
    return std::string(text).append(std::to_string(number));
}

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}


bool ReadWav(const std::string& path, int& channels, int& bits, std::vector<int32_t>& values)
{
    const std::string bytes = kivtest::ReadFile(path);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return false;
    auto u = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
        return v;
    };
    channels = bits = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = u(at + 4, 4);
        const size_t body = at + 8;
        if (body + size > bytes.size())
            return false;
        if (bytes.compare(at, 4, "fmt ") == 0 && size >= 16) {
            channels = static_cast<int>(u(body + 2, 2));
            bits = static_cast<int>(u(body + 14, 2));
        } else if (bytes.compare(at, 4, "data") == 0 && (bits == 16 || bits == 24)) {
            const int width = bits / 8;
            for (size_t i = 0; i + width <= size; i += width) {
                const uint32_t raw = u(body + i, width);
                const int shift = 32 - bits;
                values.push_back(static_cast<int32_t>(raw << shift) >> shift);
            }
            return channels > 0;
        }
        at = body + size + (size & 1);
    }
    return false;
}

}  // namespace kivtest
