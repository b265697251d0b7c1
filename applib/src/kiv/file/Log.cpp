#include "kiv/file/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace file {

namespace {
// Process-wide state shared by every Log; the file pointer is atomic so the
// silent check in Print is safe from any thread.
std::atomic<int> g_liveLogs{0};
std::atomic<FILE*> g_file{nullptr};
std::atomic<int> g_indent{0};
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
    FILE* f = g_file.load(std::memory_order_acquire);
    if (!f)
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
    fputs(line, f);
    fputs("\n", f);
    fflush(f);
}

bool Log::OpenLogFile(const char* path)
{
    FILE* f = fopen(path, "a");
    if (!f)
        return false;
    if (FILE* old = g_file.exchange(f))
        fclose(old);
    return true;
}

void Log::CloseLogFile()
{
    if (FILE* old = g_file.exchange(nullptr))
        fclose(old);
}

bool Log::IsLogOpen() { return g_file.load(std::memory_order_acquire) != nullptr; }

void Log::Indent(int delta)
{
    int v = g_indent.load(std::memory_order_relaxed) + delta;
    g_indent.store(v < 0 ? 0 : (v > 12 ? 12 : v), std::memory_order_relaxed);
}

}  // namespace file
