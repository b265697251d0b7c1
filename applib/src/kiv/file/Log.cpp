#include "kiv/file/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace file {

namespace {
// Process-wide state shared by every Log. The file pointer is atomic, so the
// silent check in Print costs no lock while no log is open (always, in the
// product); writing and closing hold the lock, so no line is written to a
// file that is being closed.
std::atomic<int> g_liveLogs{0};
std::atomic<FILE*> g_file{nullptr};
std::atomic<int> g_indent{0};
constinit std::mutex g_writing;
}  // namespace

Log::Log() { g_liveLogs.fetch_add(1, std::memory_order_relaxed); }

Log::Log(const Log&) : Log() {}

Log::~Log()
{
    if (g_liveLogs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        CloseLogFile();
}

void Log::Print(const char* fmt, ...) const
{
    if (!g_file.load(std::memory_order_acquire))
        return;
    // A line buffer per call: lines of two threads may interleave, but never
    // corrupt each other's text.
    char line[1024];
    int indent = g_indent.load(std::memory_order_relaxed);
    int n = 0;
    for (; n < indent && n < 12; ++n)
        line[n] = ' ';
    va_list args;
    va_start(args, fmt);
    vsnprintf(line + n, sizeof line - n - 1, fmt, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(g_writing);
    FILE* f = g_file.load(std::memory_order_relaxed);
    if (!f)
        return;  // closed meanwhile
    fputs(line, f);
    fputs("\n", f);
    fflush(f);
}

bool Log::OpenLogFile(const char* path)
{
    FILE* f = path ? fopen(path, "a") : nullptr;
    if (!f)
        return false;
    std::lock_guard<std::mutex> lock(g_writing);
    if (FILE* old = g_file.exchange(f, std::memory_order_acq_rel))
        fclose(old);
    return true;
}

void Log::CloseLogFile()
{
    std::lock_guard<std::mutex> lock(g_writing);
    if (FILE* old = g_file.exchange(nullptr, std::memory_order_acq_rel))
        fclose(old);
}

bool Log::IsLogOpen() { return g_file.load(std::memory_order_acquire) != nullptr; }

void Log::Indent(int delta)
{
    int v = g_indent.load(std::memory_order_relaxed) + delta;
    g_indent.store(v < 0 ? 0 : (v > 12 ? 12 : v), std::memory_order_relaxed);
}

}  // namespace file
