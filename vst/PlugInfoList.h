// PlugInfoList: the process-wide list of the plug-in libraries in the
// plug-in folders, grouped by vendor. Loaded from the maker folder at the
// first studio, rebuilt by a scan on its own thread ('plug') that loads each
// new library once to learn its vendor and kind. A guard file written before
// each probe lets the next start list a library that crashed the process as
// failed, so it is never probed again.
//
// The folders are worked out anew whenever they are asked for: those the
// Linux hosts agree on (LXVST_PATH, else VST_PATH, else the usual folders
// that exist), then the folders the user added, which the list file keeps.
//
// Threads: Load, SetFolder, StartScan and the readers run on the GUI or host
// thread; the scan runs on its own thread. A lock guards the groups and
// entries, so readers never see them half changed. Never used on the audio
// thread.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <map>
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
    // Writes the list file; true without writing when the list is empty
    // and no folder was added. A list file that is there but could not be
    // read at Load is never written over (false).
    bool Save();

    // An existing folder, or a colon-separated list of existing folders,
    // becomes the list of added folders (each folder ending in '/').
    bool SetFolder(const char* folder);
    // An existing folder joins the added folders unless it is one of them
    // already; the list file is written. False for a folder that does not
    // exist or whose name holds the list separator, and when the list is
    // full.
    bool AddFolder(const char* folder);
    // An added folder leaves the list, which the list file then keeps
    // (written as adding writes it). False for a folder that was not added,
    // and for one a rule gives (LXVST_PATH, VST_PATH or the usual folders):
    // those are the host's to change.
    bool RemoveFolder(const char* folder);
    // The added folders that RemoveFolder takes, colon-separated.
    std::string GetRemovableFolders() const;
    // The list file was there but could not be read: its path and why (an
    // errno value).
    bool ListUnread(std::string& path, int& reason) const;
    // The folders a scan walks, colon-separated, each ending in '/': the
    // folders of LXVST_PATH, else of VST_PATH, else the usual folders, then
    // the added ones, each once and only while it exists. Empty when none.
    std::string GetFolder() const;
    // The folders the user added, whether they exist now or not.
    std::string GetAddedFolders() const;

    // False while a scan runs or before Load set the file names.
    bool StartScan(ProgressCallback callback, void* context);
    bool IsScanning() const { return IsRunning(); }

    int GetManufCount() const;
    PlugManuf* GetManuf(int index) const;
    // Among the groups holding an entry of the type, group vendorIndex; in it
    // the index-th entry of the type. Null when none or not available.
    PlugInfo* GetPlugOfType(int vendorIndex, int type, int index) const;
    // The entry listed under exactly this name, else the first one that
    // knows it as another name (a link to it, its real file); null when none
    // or not available.
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
    // Files the library reached at path under name; the name it is listed
    // under (empty when the scan stopped or could not guard the probe).
    std::string AddFound(const char* path, const char* name);
    // The library listed as listedName was reached again under name.
    void AddOtherName(const std::string& listedName, const char* name);
    int ProbePlugin(const char* path);
    static vst::intptr ProbeHostCallback(vst::AEffect* effect, vst::int32 opcode, vst::int32 index,
                                         vst::intptr value, void* ptr, float opt);

    bool LoadCache(const char* path);
    // True when it listed a library as failed.
    bool ReadGuardFile();
    // With the lock held. FindEntry matches listed names only;
    // FindEntryNamed also the other names.
    PlugInfo* FindEntry(const char* name) const;
    PlugInfo* FindEntryNamed(const char* name) const;
    // Each entry read from a file learns its real file's name.
    void LearnRealNames();
    PlugManuf* FindOrMakeManuf(const char* vendor);
    void File(std::unique_ptr<PlugInfo> info);
    void RemoveAllLocked();
    // evenEmpty: an empty list is written too (it replaces a fuller file).
    bool SaveLocked(bool evenEmpty = false);
    // Sleeps ms milliseconds in short steps; false when a stop was asked.
    bool PauseUnlessStopped(int ms);

    std::vector<std::unique_ptr<PlugManuf>> m_manufs;
    mutable std::recursive_mutex m_lock;
    // The list and guard files in the maker folder of the user's
    // application data; set once by Load.
    std::string m_listPath;
    std::string m_guardPath;
    int m_listReadError = 0;  // errno when the list file could not be read
    char m_baseName[plug::kBaseNameBytes] = {};
    // The folders the user added, colon-separated, each ending in '/'.
    std::string m_added;
    ProgressCallback m_callback = nullptr;
    void* m_callbackContext = nullptr;
    char m_probeVendor[plug::kTextBufferBytes] = {};
    bool m_loadedOnce = false;
    std::atomic<bool> m_stopRequest{false};
    // The files a scan has reached (device, inode) and the names they are
    // listed under; scan thread only.
    std::map<std::pair<dev_t, ino_t>, std::string> m_seenFiles;
    // True while a scan walks: saves then keep the entries it has not reached.
    std::atomic<bool> m_walking{false};
};
