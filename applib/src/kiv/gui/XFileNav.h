// XFileNav: the open and save file dialogs (extension filters, several
// files at once) and the folder browser. The dialog is the desktop's own,
// run as a child process: "zenity", else "kdialog". Two environment
// variables serve tests and unusual desktops:
//   KIV_DIALOG_PROGRAM  a program run instead, with zenity's arguments;
//   KIV_DIALOG_ANSWER   no program is run: the value is the answer, one
//                       chosen path a line (empty = the user cancelled).
// Built on the stack for one use; GUI thread only (the call waits for the
// dialog to close).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class XFileNav {
public:
    static constexpr int kMaxNames = 64;       // names kept from one selection
    static constexpr size_t kMaxPath = 4096;   // longer paths are dropped, never cut

    // owner: the window the dialog belongs to (0 = none).
    explicit XFileNav(uintptr_t owner = 0) : m_owner(owner) {}
    XFileNav(const XFileNav&) = delete;
    XFileNav& operator=(const XFileNav&) = delete;
    virtual ~XFileNav() = default;

    // Extension without its leading '.', shown with its description.
    void AddFilter(const char* extension, const char* description);
    // True when the user chose.
    bool OpenFile(const char* title, bool multiSelection);
    bool SaveFile(const char* title);
    bool BrowseFolder(const char* title);

    // The chosen folder, ending with '/'.
    const char* GetFolder() const { return m_folder.c_str(); }
    int GetCount() const { return static_cast<int>(m_names.size()); }
    const char* GetName(int n) const;
    // Folder + n-th name, valid until the next call; null for a name that
    // does not exist.
    const char* GetPath(int n);
    // Index of the filter whose extension the path has (case-insensitive);
    // -1 when none has it or the path has no extension; 0 without filters.
    int FindFilter(const char* path) const;

    // Takes a dialog's answer (one path a line); false when it names nothing
    // usable.
    bool TakeAnswer(const std::string& answer, bool folder, bool save);

private:
    struct Filter {
        std::string extension;
        std::string description;
    };
    bool RunDialog(const char* title, int mode);
    std::vector<std::string> MakeArguments(const std::string& program, const char* title, int mode) const;

    uintptr_t m_owner;
    bool m_multiSelection = false;
    std::vector<Filter> m_filters;
    std::string m_folder;
    std::vector<std::string> m_names;
    std::string m_path;
};
