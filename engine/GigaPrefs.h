// GigaPrefs: the process-wide engine preferences, built first at library load
// and destroyed last. Holds the settings of the "tessivo" key (sample preload
// lengths, the controller-volume choice and the missing-files folder), the
// MIDI controller map kept in "tessivo.prefs" in the maker folder under the
// all-users application data, and the sample-memory budget.
//
// Threads: built and destroyed on the host's thread; the settings and the
// controller map are read by the loader (the map by the audio thread) and
// edited by the GUI thread; the
// budget is charged by the loader side (atomic, so a release from any thread
// is safe).
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/GigaBankHooks.h"
#include "engine/GigaStreamConstants.h"
#include "kiv/file/Archive.h"
#include "kiv/file/Dir.h"
#include "kiv/file/Prefs.h"

class GigaPrefs : public file::Prefs, public Archivable, public GigaMemoryBudget {
public:
    static constexpr float kDefaultLmin = 1.0f;
    static constexpr float kDefaultLmax = 3.0f;
    static constexpr int kDefaultCvol = 7;
    // The settings layer may hand back up to 511 characters of text.
    static constexpr int kMispCapacity = 512;

    // Takes the memory figures, registers the settings and loads the file.
    // The first one built becomes the engine's budget and preload source.
    GigaPrefs();
    // Writes "tessivo.prefs" and the settings.
    ~GigaPrefs() override;

    // The process-wide object (the first one built), or null.
    static GigaPrefs* Get();

    // Reads the settings of the key "tessivo" (once per object).
    bool LoadSettings();

    // "tessivo.prefs": a file that is there but cannot be read is neither
    // loaded nor ever written over (the controller map stays the identity,
    // and edits of it are not kept). A damaged one keeps what could be read,
    // which the next save writes back whole.
    bool LoadFile();
    bool SaveFile();
    // A file of these preferences that is there but could not be read: its
    // path and why (an errno value). The settings window says so.
    bool SettingsUnread(std::string& path, int& reason) const;
    bool MapUnread(std::string& path, int& reason) const;
    // Puts out-of-range settings back into range.
    void AfterLoad();
    void Archive(ArchiFile* archive) override;

    // Memory budget in megabytes.
    bool Reserve(int64_t megabytes) override;
    void Release(int64_t megabytes) override;
    int64_t GetTotalMB() const { return m_totalMB; }
    int64_t GetBudgetMB() const { return m_budgetMB.load(std::memory_order_acquire); }
    int64_t GetUsedMB() const { return m_usedMB.load(std::memory_order_acquire); }
    void SetBudgetMB(int64_t megabytes) { m_budgetMB.store(megabytes, std::memory_order_release); }

    // Hands lmin and lmax to program loading (after an edit of either).
    void PublishPreload() const;

    // Budget for the available memory: at most 16384 MB.
    static int64_t BudgetFor(int64_t availableMB);

    // The folder searched for missing .gig files ('misp'): the missing-files
    // window sets it on the GUI thread while the loader's search may read
    // it, so both go through a copy under a small lock (neither side is the
    // audio thread). False, and nothing changes, when the path does not fit
    // whole (a cut path would name another folder); null clears it.
    bool SetMissingFolder(const char* folder);
    std::string GetMissingFolder() const;

    // Settings 'lmin' (seconds of a long sample kept in memory), 'lmax'
    // (samples up to this length in seconds are kept whole) and 'cvol' (7 or
    // 11). The settings window writes them on the GUI thread while the loader
    // side reads them, so every access goes through std::atomic_ref
    // (relaxed: each value stands alone); the storage stays plain because
    // the settings layer binds it by address and size.
    float GetLmin() const { return LoadRelaxed(m_lmin); }
    float GetLmax() const { return LoadRelaxed(m_lmax); }
    int GetCvol() const { return LoadRelaxed(m_cvol); }
    void SetLmin(float seconds) { StoreRelaxed(m_lmin, seconds); }
    void SetLmax(float seconds) { StoreRelaxed(m_lmax, seconds); }
    void SetCvol(int value) { StoreRelaxed(m_cvol, value); }

    // MIDI controller number -> the controller the engine uses (negative
    // drops). Players read it on the audio thread while the settings window
    // edits it: every access after construction goes through
    // std::atomic_ref<int> (relaxed).
    int controllerMap[giga::kControllerCount];

protected:
    void DeclareEntries(const char* programName) override;
    void OnLoaded() override;

private:
    const char* PrefsFilePath();

    template <typename T>
    static T LoadRelaxed(const T& field)
    {
        return std::atomic_ref<const T>(field).load(std::memory_order_relaxed);
    }
    template <typename T>
    static void StoreRelaxed(T& field, T value)
    {
        std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
    }

    alignas(std::atomic_ref<float>::required_alignment) float m_lmin = kDefaultLmin;
    alignas(std::atomic_ref<float>::required_alignment) float m_lmax = kDefaultLmax;
    alignas(std::atomic_ref<int>::required_alignment) int m_cvol = kDefaultCvol;

    // Guards m_misp, also while the settings layer reads or writes it, and
    // the settings layer's read failure.
    mutable std::mutex m_mispLock;
    char m_misp[kMispCapacity] = {};

    bool m_declared = false;
    // Why "tessivo.prefs" could not be read (errno), 0 when read or missing;
    // written by LoadFile before the object is shared.
    std::atomic<int> m_mapReadError{0};
    std::string m_mapPath;
    app::folder m_folder;  // "Quillane" under the all-users application data
    int64_t m_totalMB = 0;
    std::atomic<int64_t> m_budgetMB{0};
    std::atomic<int64_t> m_usedMB{0};
};
