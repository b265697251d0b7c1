// What bank reading and program loading need from the rest of the engine,
// taken through small interfaces so that the tone, the preferences and the
// disk thread can fill them:
// - GigaLoadSink: the tone a program load reports its state and progress to
//   (GigaTone implements it; null means nobody listens).
// - GigaDiskUsers: the disk thread's user count, raised and lowered when a
//   streaming program is retained and released (GigaDiskThread).
// - GigaMemoryBudget: the process-wide sample-memory budget (GigaPrefs; the
//   default is a GigaSystemBudget, GigaMemory.h).
// - the preload lengths 'lmin'/'lmax' in seconds (GigaPrefs sets them after it
//   read its settings and whenever they change).
// - where files a bank names were found after they went missing (the
//   missing-files window tells; GUI thread), read by the loader.
// The setters are called at library load or by the settings page; the getters
// by the loader thread.
#pragma once
#include <cstdint>
#include <string>

class GigaLoadSink {
public:
    virtual ~GigaLoadSink() = default;
    // Tone load states: 2 reading the sample list, 3 loading samples, 5 not
    // enough memory (the other states are set by the loader).
    virtual void SetState(int state) = 0;
    virtual void ReportProgress(int done, int total) = 0;
};

class GigaDiskUsers {
public:
    virtual ~GigaDiskUsers() = default;
    virtual void AddUser() = 0;
    virtual void RemoveUser() = 0;
};

class GigaMemoryBudget {
public:
    virtual ~GigaMemoryBudget() = default;
    // False (and nothing charged) when used + mb would pass the budget.
    virtual bool Reserve(int64_t mb) = 0;
    virtual void Release(int64_t mb) = 0;
};

class GigaHooks {
public:
    // Seconds of a long sample kept in memory, and the length up to which a
    // sample is kept whole (defaults 1.0 and 3.0).
    static void SetPreloadSeconds(float lmin, float lmax);
    static float GetPreloadMin();
    static float GetPreloadMax();

    // Null: streaming programs count no disk users (tools and tests).
    static void SetDiskUsers(GigaDiskUsers* users);
    static GigaDiskUsers* GetDiskUsers();

    // Null restores the default budget (a process-wide GigaSystemBudget).
    static void SetBudget(GigaMemoryBudget* budget);
    static GigaMemoryBudget& GetBudget();

    // A file a bank names at `missing` was found at `found` (an extension
    // file of another folder); the next program load of that bank opens it.
    static void AddMovedFile(const char* missing, const char* found);
    // Where `missing` was found; empty when it was not.
    static std::string FindMovedFile(const char* missing);
};
