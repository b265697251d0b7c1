// Helpers shared by the test programs: a per-thread allocation counter for
// proving that real-time paths never allocate, and temporary folders.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kivtest {

// Counts heap allocations (operator new and, outside sanitizer builds, the
// malloc family) made by the calling thread while the object lives.
class AllocCounter {
public:
    AllocCounter();
    ~AllocCounter();
    AllocCounter(const AllocCounter&) = delete;
    AllocCounter& operator=(const AllocCounter&) = delete;
    long Count() const;

private:
    long m_start;
    bool m_wasArmed;
};

// While it lives, operator new throws std::bad_alloc for requests of at
// least `bytes` made by any thread but the one that made it: worker threads
// that run out of memory.
class OthersOutOfMemory {
public:
    explicit OthersOutOfMemory(size_t bytes);
    ~OthersOutOfMemory();
    OthersOutOfMemory(const OthersOutOfMemory&) = delete;
    OthersOutOfMemory& operator=(const OthersOutOfMemory&) = delete;
    // Requests refused so far.
    long Refused() const;
};

// Pins the calling thread to the first `count` of the processors it may run
// on, as taskset does to a process, and gives the earlier set back when it
// goes. Pinned() is false (and nothing changed) when it had fewer.
class PinnedThread {
public:
    explicit PinnedThread(int count);
    ~PinnedThread();
    PinnedThread(const PinnedThread&) = delete;
    PinnedThread& operator=(const PinnedThread&) = delete;
    bool Pinned() const { return m_pinned; }

private:
    std::vector<unsigned char> m_saved;  // the earlier set, as the system keeps it
    bool m_pinned = false;
};

// A fresh folder under the test's home, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// While it lives, the process acts as an ordinary user: when it runs as
// the superuser (who reads and writes any file), its effective user and
// group become those of "nobody" (65534), and are given back when it goes.
// A test of what a user meets with a file that cannot be read or written
// makes the file (and its folder, where a write would replace the file)
// before, and reads the outcome after. Without the superuser it changes
// nothing: the test already runs as an ordinary user.
class AsOrdinaryUser {
public:
    AsOrdinaryUser();
    ~AsOrdinaryUser();
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;
    // False when the switch was needed and failed (the test then skips).
    bool Ok() const { return m_ok; }

private:
    bool m_switched = false;
    bool m_ok = true;
};

// Makes the folder (when missing) one that an ordinary user may write in,
// and the folders between the test's home and it (the home included) ones
// that user may pass through: a test as "nobody" meets the files in it as
// their owner would. False when that could not be done.
bool OpenToOrdinaryUser(const std::string& folder);

// The text followed by the number: Numbered("s", 3) is "s3". Appended in
// one place: g++ 12 warns wrongly (-Wrestrict) wherever "s" +
// std::to_string(3) is inlined.
std::string Numbered(const char* text, long long number);

// Writes bytes to a file; returns false on failure.
bool WriteFile(const std::string& path, const void* bytes, size_t size);
// Reads a whole file into a string of bytes (empty when missing).
std::string ReadFile(const std::string& path);
// Whether anything (a file, folder, link target, pipe) is at the path.
bool Exists(const std::string& path);
// The samples of a 16- or 24-bit PCM WAV file as integers, interleaved;
// false when the file is not one.
bool ReadWav(const std::string& path, int& channels, int& bits, std::vector<int32_t>& values);

}  // namespace kivtest
