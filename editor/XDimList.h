// Information boxes of the part unit's bottom panel, filled from the
// instrument (program) of a tone's single part: XDimList lights the cells of
// the controllers and dimensions the program uses, XProgInfo prints its key
// range, sample count, bit depth and streaming flag. Both copy what they show
// when filled, so a program unloaded later is never read. GUI thread.
#pragma once
#include <cstdint>

#include "editor/EditorConst.h"
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"

class GigaProgram;

class XDimList : public XControl, public HLabel {
public:
    struct Cell {
        const char* caption;
        int code;  // the dimension or controller code looked up in the program
    };
    // Cells 3..17 in order.
    static const Cell kCells[editor::kDimCellCount];

    XDimList(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    void OnTextChanged() override { Invalidate(); }

    // Null clears every cell.
    void SetProgram(const GigaProgram* program);
    void Clear() { SetProgram(nullptr); }
    // Cell n (3..17) is lit.
    bool IsCellUsed(int n) const;
    // Where cell n (3..17) lies.
    static XRectangle GetCellRect(int n);

private:
    uint32_t m_used = 0;  // bit n for cell n
};

class XProgInfo : public XControl {
public:
    static constexpr int kLineCount = 4;

    XProgInfo(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;

    // Null clears the four lines.
    void SetProgram(const GigaProgram* program);
    void Clear() { SetProgram(nullptr); }
    const char* GetLine(int n) const { return n >= 0 && n < kLineCount ? m_lines[n] : ""; }

    // "C3" for key 60; keys outside 0..127 are taken as the nearest.
    static void FormatKey(int key, char* out, int size);

private:
    char m_lines[kLineCount][editor::kProgInfoLineSize] = {};
};
