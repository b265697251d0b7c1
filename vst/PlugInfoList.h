// PlugInfoList: the process-wide list of the plug-in libraries in the user's
// plug-in folder, grouped by vendor. Loaded from the maker folder at the first
// studio, rebuilt by a scan on its own thread ('plug') that loads each new
// library once to learn its vendor and kind. A guard file written before each
// probe lets the next start list a library that crashed the process as
// failed, so it is never probed again.
//
// Threads: Load, SetFolder, StartScan and the readers run on the GUI or host
// thread; the scan runs on its own thread. A lock guards the groups and
// entries, so readers never see them half changed. Never used on the audio
// thread.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <sys/types.h>
#include <utility>
#include <string>
#include <vector>

#include "kiv/data/String.h"
#include "kiv/data/Thread.h"
#include "kiv/file/Archive.h"
#include "kiv/file/Dir.h"
#include "kiv/file/Log.h"
#include "vst/PlugInfo.h"
#include "vst/VstAbi.h"
#include "vst/VstConstants.h"

class PlugInfoList : public kiv::thread, public Archivable, public file::Log {
public:
    // Called with a library's file name before it is probed and with null
    // when the scan ends (on the scan thread).
    using ProgressCallback = void (*)(const char* name, void* context);

    PlugInfoList();
    // Stops a running scan and waits for it to end.
    ~PlugInfoList() override;

    // Once per process and only while the list is empty: reads the list file
    // from the maker folder in the user's application data, else imports the
    // older cache from the maker folder in the common application data; then
    // the guard file of a probe that never finished, with or without a list.
    bool Load(const char* makerFolder, const char* productName);
    // Writes the list file; true without writing when the list is empty.
    bool Save();

    // An existing folder, or a colon-separated list of existing folders,
    // becomes the plug-in folder list (each folder ending in '/').
    bool SetFolder(const char* folder);
    // The plug-in folder list; when none is set, LXVST_PATH, else VST_PATH,
    // else every usual folder, keeping those that exist. Null when there is
    // none.
    const char* GetFolder();

    // False while a scan runs or before Load set the file names.
    bool StartScan(ProgressCallback callback, void* context);
    bool IsScanning() const { return IsRunning(); }

    int GetManufCount() const;
    PlugManuf* GetManuf(int index) const;
    // Among the groups holding an entry of the type, group vendorIndex; in it
    // the index-th entry of the type. Null when none or not available.
    PlugInfo* GetPlugOfType(int vendorIndex, int type, int index) const;
    // The first entry with exactly this name; null when none or not
    // available.
    PlugInfo* FindByName(const char* name) const;
    int GetEntryCount() const;

    // The list the hosted plug-ins search when an archived slot is restored
    // (set by the plug-in shell's process-wide object).
    static void SetProcessList(PlugInfoList* list);
    static PlugInfoList* GetProcessList();

    void Archive(ArchiFile* archive) override;

    // Libraries probed successfully in this process.
    static int GetProbeCount();

protected:
    void Run() override;

private:
    bool Scan();
    class FolderWalk;
    void AddFound(const char* path, const char* name);
    int ProbePlugin(const char* path);
    static vst::intptr ProbeHostCallback(vst::AEffect* effect, vst::int32 opcode, vst::int32 index,
                                         vst::intptr value, void* ptr, float opt);

    bool LoadCache(const char* path);
    // True when it listed a library as failed.
    bool ReadGuardFile();
    // With the lock held.
    PlugInfo* FindEntry(const char* name) const;
    PlugManuf* FindOrMakeManuf(const char* vendor);
    void File(std::unique_ptr<PlugInfo> info);
    void RemoveAllLocked();
    bool SaveLocked();
    // Sleeps ms milliseconds in short steps; false when a stop was asked.
    bool PauseUnlessStopped(int ms);

    std::vector<std::unique_ptr<PlugManuf>> m_manufs;
    mutable std::recursive_mutex m_lock;
    // The list and guard files in the maker folder of the user's
    // application data; set once by Load.
    std::string m_listPath;
    std::string m_guardPath;
    char m_baseName[plug::kBaseNameBytes] = {};
    kiv::string m_folder;
    ProgressCallback m_callback = nullptr;
    void* m_callbackContext = nullptr;
    char m_probeVendor[plug::kTextBufferBytes] = {};
    bool m_loadedOnce = false;
    std::atomic<bool> m_stopRequest{false};
    // The files a scan has reached (device, inode); scan thread only.
    std::set<std::pair<dev_t, ino_t>> m_seenFiles;
    // True while a scan walks: saves then keep the entries it has not reached.
    std::atomic<bool> m_walking{false};
};
