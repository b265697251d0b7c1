#include "engine/GigaBankHooks.h"

#include <atomic>

#include "engine/GigaMemory.h"

namespace {

std::atomic<float> g_lmin{1.0f};
std::atomic<float> g_lmax{3.0f};
std::atomic<GigaDiskUsers*> g_diskUsers{nullptr};
std::atomic<GigaMemoryBudget*> g_budget{nullptr};

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
