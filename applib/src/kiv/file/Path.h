// file::Path splits a path into folder, title and extension. Paths stored by
// the Windows build may use '\\', so both '/' and '\\' end a folder name.
// A value type for one caller.
#pragma once
#include "kiv/data/String.h"

namespace file {

class Path {
public:
    Path() = default;
    explicit Path(const char* path);
    virtual ~Path();

    // Keeps the path and finds its last separator and last '.'; true when a
    // separator exists and the last '.' comes after it.
    bool Set(const char* path);
    // The name between the last separator and the extension's '.' (or the
    // end); empty when the path has no separator.
    StringRef GetTitle() const;
    const char* GetPath() const { return m_path.CStr(); }

private:
    StringMut m_path;
    int m_lastSeparator = -1;
    int m_lastDot = -1;
};

// A sample library's name: at least one character before ".gig", the
// letters in any case.
bool IsGigName(const char* name);

}  // namespace file
