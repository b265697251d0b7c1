#include "engine/GigaBankHooks.h"

#include <atomic>
#include <map>
#include <mutex>

#include "engine/GigaMemory.h"

namespace {

std::atomic<float> g_lmin{1.0f};
std::atomic<float> g_lmax{3.0f};
std::atomic<GigaDiskUsers*> g_diskUsers{nullptr};
std::atomic<GigaMemoryBudget*> g_budget{nullptr};

std::mutex g_movedLock;
std::map<std::string, std::string>& MovedFiles()
{
    static std::map<std::string, std::string> moved;
    return moved;
}

GigaMemoryBudget& DefaultBudget()
{
    static GigaSystemBudget budget;
    return budget;
}

}  // namespace

void GigaHooks::SetPreloadSeconds(float lmin, float lmax)
{
    g_lmin.store(lmin, std::memory_order_relaxed);
    g_lmax.store(lmax, std::memory_order_relaxed);
}

float GigaHooks::GetPreloadMin()
{
    return g_lmin.load(std::memory_order_relaxed);
}

float GigaHooks::GetPreloadMax()
{
    return g_lmax.load(std::memory_order_relaxed);
}

void GigaHooks::SetDiskUsers(GigaDiskUsers* users)
{
    g_diskUsers.store(users, std::memory_order_release);
}

GigaDiskUsers* GigaHooks::GetDiskUsers()
{
    return g_diskUsers.load(std::memory_order_acquire);
}

void GigaHooks::SetBudget(GigaMemoryBudget* budget)
{
    g_budget.store(budget, std::memory_order_release);
}

GigaMemoryBudget& GigaHooks::GetBudget()
{
    GigaMemoryBudget* b = g_budget.load(std::memory_order_acquire);
    return b ? *b : DefaultBudget();
}

void GigaHooks::AddMovedFile(const char* missing, const char* found)
{
    if (!missing || !found || !missing[0] || !found[0])
        return;
    std::lock_guard<std::mutex> lock(g_movedLock);
    MovedFiles()[missing] = found;
}

std::string GigaHooks::FindMovedFile(const char* missing)
{
    if (!missing)
        return std::string();
    std::lock_guard<std::mutex> lock(g_movedLock);
    auto it = MovedFiles().find(missing);
    return it == MovedFiles().end() ? std::string() : it->second;
}
