// file::Prefs: named settings of a program, each bound to a variable of the
// derived class (a raw block of fixed size or a text buffer of known
// capacity). Load fills the variables once per object; the destructor writes
// them all back. The settings live in one text file per program key,
// <per-user application data>/Quillane/<program>.settings, one name=value a
// line (raw values as hex, texts as escaped text), replaced atomically on
// every write. Single-threaded: the owner's thread only.
#pragma once
#include <cstdint>

#include "kiv/data/List.h"
#include "kiv/data/String.h"

namespace file {

// One bound setting; its name is the entry's name in the list.
struct t_pref {
    void* buffer = nullptr;  // the caller's variable
    int32_t size = 0;        // bytes of a raw value, capacity of a text
    bool text = false;       // NUL-terminated text rather than raw bytes
};

class Prefs {
public:
    Prefs();
    virtual ~Prefs();  // Save, then frees the entries
    Prefs(const Prefs&) = delete;
    Prefs& operator=(const Prefs&) = delete;

    // Binds a value name to size bytes at buffer; returns the entry's index,
    // -1 for a name that cannot be stored (empty, '=' or a line break in it)
    // or a size <= 0.
    int Add(const char* name, void* buffer, int size);
    // Binds a value name to a text buffer of capacity bytes; a stored text
    // longer than capacity - 1 characters is cut to fit.
    int AddString(const char* name, char* buffer, int capacity);

    // Reads the settings once: true when they were read now or before. False
    // (variables unchanged, try again later) when there are no entries, the
    // program name cannot name a key, or the settings file cannot be read.
    bool Load(const char* programName);
    // Writes every entry; false before Load built the key path or on any
    // failed write (the previous file then stays as it was). A settings file
    // that is there but could not be read is never written over: what it
    // holds is the user's, and this object never saw it.
    bool Save();

    bool IsLoaded() const { return m_loaded; }
    // Why the last Load could not read a settings file that is there (an
    // errno value); 0 after a read, or when the file was missing.
    int GetReadError() const { return m_readError; }
    // "SOFTWARE\<program>", empty until Load built it.
    const char* GetKeyPath() const { return m_keyPath; }
    // The settings file of the key; empty before Load built the key path or
    // when no application-data folder is known.
    kiv::string GetFilePath() const;

protected:
    virtual void DeclareEntries(const char* programName);
    virtual void OnLoaded();

private:
    bool m_loaded = false;
    int m_readError = 0;
    char m_keyPath[127] = {};
    T_List<t_pref> m_entries;
};

}  // namespace file
