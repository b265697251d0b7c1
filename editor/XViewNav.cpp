#include "editor/XViewNav.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "editor/FavList.h"
#include "kiv/file/FileOpen.h"
#include "kiv/gui/XColour.h"
#include "kiv/gui/XGraphic.h"

using namespace browser;

namespace {

bool EndsWithNoCase(const char* name, size_t length, const char* suffix)
{
    size_t n = std::strlen(suffix);
    if (length <= n)
        return false;
    const char* tail = name + length - n;
    for (size_t i = 0; i < n; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
        if (c != suffix[i])
            return false;
    }
    return true;
}

bool IsFolder(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// A mount point as /proc/self/mounts writes it: blanks, tabs, newlines and
// backslashes stand as three-digit octal escapes.
std::string DecodeMountPath(const char* text, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\\' && i + 3 < length + 0 && text[i + 1] >= '0' && text[i + 1] <= '3' &&
            text[i + 2] >= '0' && text[i + 2] <= '7' && text[i + 3] >= '0' && text[i + 3] <= '7') {
            out.push_back(static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Volumes the user mounted: removable media and the usual mount folders.
bool IsUserVolume(const std::string& path)
{
    return path.rfind("/media/", 0) == 0 || path.rfind("/mnt/", 0) == 0 || path.rfind("/run/media/", 0) == 0;
}

void SetPaneColours(XControl* pane)
{
    pane->SetColour(0, XColour::Make(50, 60, 80));
    pane->SetColour(3, XColour::Make(50, 60, 80));
    pane->SetColour(2, XColour::Make(220, 220, 190));
}

XLabel* AddCaption(XControl* parent, int x, int w, const char* text)
{
    auto* label = new XLabel(parent, x, kCaptionY, w, kCaptionHeight);
    label->SetText(text);
    label->SetColour(0, XColour::Make(40, 40, 45));
    label->SetColour(2, XColour::Make(180, 180, 150));
    label->SetColour(3, XColour::Make(25, 30, 40));
    return label;
}

}  // namespace

// --- XTreeGiga ---

XTreeGiga::XTreeGiga(XControl* parent, int x, int y, int w, int h) : XTreeView(parent, x, y, w, h)
{
    SetDragKind(kDragTree);
    SetSorted(true);
    XPicTable::Load(kNodeDrive, "icn_disk.png");
    XPicTable::Load(kNodeFolder, "icn_folder.png");
    XPicTable::Load(kNodeBank, "icn_gig.png");
    XPicTable::Load(kNodePreset, "icn_tvr.png");
    SetOpenFolderPicture("icn_open.png");
    SetClosedFolderPicture("icn_closed.png");
}

void XTreeGiga::ShowRoot(const char* path)
{
    Clear();
    if (!path) {
        ListDrives();
        return;
    }
    // Every path the tree builds starts with the root, so the root ends in
    // the separator; one that does not fit lists nothing rather than the
    // folder of an older root.
    char root[kListPathBytes];
    size_t length = std::strlen(path);
    if (length == 0 || length + 2 > sizeof root) {
        SetRootPath("");
        return;
    }
    std::memcpy(root, path, length + 1);
    if (root[length - 1] != '/' && root[length - 1] != '\\')
        std::memcpy(root + length, "/", 2);
    if (!SetRootPath(root))
        return;
    ListFolder(nullptr, root);
}

void XTreeGiga::FillFolder(Node* node)
{
    if (!node) {
        ListDrives();
        return;
    }
    char path[kListPathBytes];
    const char* built = GetPath(node);
    if (!built[0] || std::strlen(built) >= sizeof path)
        return;
    std::strcpy(path, built);
    ListFolder(node, path);
}

void XTreeGiga::OnNodeChosen(Node* node)
{
    (void)node;
    Notify(0, GetSelectedCount());
}

void XTreeGiga::ListDrives()
{
    AddFolder(nullptr, "/", kNodeDrive);
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/' && home[1] && std::strlen(home) < kListPathBytes && IsFolder(home))
        AddFolder(nullptr, home, kNodeDrive);

    FILE* mounts = file::OpenStreamForReading("/proc/self/mounts");
    if (!mounts)
        return;
    char line[1024];
    int read = 0;
    while (read < kMaxMountBytes && std::fgets(line, sizeof line, mounts)) {
        size_t lineLength = std::strlen(line);
        read += static_cast<int>(lineLength);
        // "device mountpoint type options ..."; an over-long line is passed over.
        if (lineLength == 0 || line[lineLength - 1] != '\n')
            continue;
        char* start = std::strchr(line, ' ');
        if (!start)
            continue;
        ++start;
        char* end = std::strchr(start, ' ');
        if (!end)
            continue;
        std::string point = DecodeMountPath(start, static_cast<size_t>(end - start));
        if (IsUserVolume(point) && point.size() < kListPathBytes && point.find('\0') == std::string::npos &&
            IsFolder(point.c_str()))
            AddFolder(nullptr, point.c_str(), kNodeDrive);
    }
    std::fclose(mounts);
}

int XTreeGiga::FileType(const char* name)
{
    if (!name || name[0] == '.')
        return 0;
    size_t length = std::strlen(name);
    if (EndsWithNoCase(name, length, ".gig"))
        return kNodeBank;
    if (EndsWithNoCase(name, length, ".tvpreset"))
        return kNodePreset;
    return 0;
}

void XTreeGiga::ListFolder(Node* parent, const char* path)
{
    char scratch[kListPathBytes];
    size_t length = path ? std::strlen(path) : 0;
    if (length == 0 || length + 2 > sizeof scratch)
        return;
    std::memcpy(scratch, path, length + 1);
    if (scratch[length - 1] != '/')
        scratch[length++] = '/';
    scratch[length] = '\0';

    DIR* dir = opendir(scratch);
    if (!dir)
        return;
    int entries = 0;
    while (entries < kMaxFolderEntries) {
        dirent* entry = readdir(dir);
        if (!entry)
            break;
        const char* name = entry->d_name;
        // Hidden entries, and "." and "..", are never shown.
        if (name[0] == '.')
            continue;
        size_t nameLength = std::strlen(name);
        if (length + nameLength + 1 >= sizeof scratch)
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            std::memcpy(scratch + length, name, nameLength + 1);
            folder = IsFolder(scratch);
            scratch[length] = '\0';
        }
        if (folder) {
            AddFolder(parent, name, kNodeFolder);
            ++entries;
            continue;
        }
        int type = FileType(name);
        if (type != 0) {
            AddItem(parent, name, type);
            ++entries;
        }
    }
    closedir(dir);
}

// --- XListInst ---

XListInst::XListInst(XControl* parent, int x, int y, int w, int h) : XListString(parent, x, y, w, h)
{
    SetDragKind(kDragInst);
    GetPictures().Load(kPicInstrument, "icn_inst.png");
}

bool XListInst::OnItemActivated(XListItem* item, int x, int y)
{
    (void)item;
    (void)x;
    (void)y;
    Notify(kCodeLoad, 0);
    return true;
}

void XListInst::Draw(XGraphic& graphic)
{
    XListString::Draw(graphic);
    if (GetCount() > 0 || !GetText())
        return;
    graphic.SetFont(kNoticeFontSize, 0);
    graphic.SetTextColour(XColour::Make(kNoticeColour[0], kNoticeColour[1], kNoticeColour[2]));
    graphic.DrawString(GetText(), kNoticeInset, kNoticeInset);
}

// --- XListLink ---

XListLink::XListLink(XControl* parent, int x, int y, int w, int h) : XListString(parent, x, y, w, h)
{
    SetDragKind(kDragLink);
    SetColour(3, XColour::Make(40, 40, 40));
    GetPictures().Load(kPicComputer, "icn_comp.png");
    GetPictures().Load(kPicFavFolder, "icn_folder.png");
}

bool XListLink::OnDragOver(XControl* source, uint32_t kind)
{
    if (kind != kDragTree)
        return false;
    auto* tree = dynamic_cast<XTreeView*>(source);
    XTreeView::Node* node = tree ? tree->GetSelectedAt(0) : nullptr;
    return node && node->value == kNodeFolder;
}

bool XListLink::OnDragEnter(XControl* source, uint32_t kind)
{
    (void)source;
    (void)kind;
    SetColour(3, XColour::Make(255, 255, 0));
    Repaint();
    return true;
}

void XListLink::OnDragLeave(XControl* source, uint32_t kind)
{
    (void)source;
    (void)kind;
    SetColour(3, GetColour(0));
    Repaint();
}

void XListLink::OnDrop(XControl* source, uint32_t kind)
{
    (void)source;
    (void)kind;
    Notify(kCodeFavNew, 0);
}

void XListLink::OnDragEnd(int x, int y)
{
    if (x < 0 || x > GetWidth() || y < 0 || y > GetHeight())
        Notify(kCodeFavDelete, 0);
}

// --- XViewNav ---

XViewNav::XViewNav(XControl* parent, int x, int y, int w, int h, FavList* favourites)
    : XControl(parent, x, y, w, h), m_favList(favourites ? favourites : FavList::GetProcessList())
{
    SetColour(0, XColour::Make(0, 20, 30));
    AddCaption(this, kFavX, kFavWidth, "Favorites");
    AddCaption(this, kTreeX, kTreeWidth, "Browser");
    AddCaption(this, kInstX, kInstWidth, "Instruments");

    m_favorites = new XListLink(this, kFavX, kPaneY, kFavWidth, kPaneHeight);
    m_tree = new XTreeGiga(this, kTreeX, kPaneY, kTreeWidth, kPaneHeight);
    m_instruments = new XListInst(this, kInstX, kPaneY, kInstWidth, kPaneHeight);
    for (XControl* pane : {static_cast<XControl*>(m_favorites), static_cast<XControl*>(m_tree),
                           static_cast<XControl*>(m_instruments)}) {
        SetPaneColours(pane);
        pane->SetListener(this);
    }
}

XViewNav::~XViewNav() = default;

void XViewNav::Draw(XGraphic& graphic)
{
    graphic.SetBrush(GetColour(0));
    graphic.FillRect(0, 0, GetWidth(), GetHeight());
    graphic.SetPen(XColour::Make(50, 70, 110));
    graphic.DrawFrame(0, 0, GetWidth(), GetHeight());
}

bool XViewNav::RefreshFavorites()
{
    if (!m_favList)
        return false;
    int count = m_favList->GetCount();
    if (m_favList->GetChangeCount() == m_seenChange)
        return false;
    m_favorites->Clear();
    m_favorites->AddString("Computer", kPicComputer);
    for (int i = 0; i < count; ++i)
        m_favorites->AddString(m_favList->GetName(i), kPicFavFolder);
    m_favorites->Select(0);
    m_tree->SetRootPath("");
    m_tree->ShowRoot(nullptr);
    m_tree->Invalidate();
    m_seenChange = m_favList->GetChangeCount();
    return true;
}

int XViewNav::GetSelectedInstrument() const
{
    XListItem* item = m_instruments->GetSelected(0);
    if (!item)
        return 0;
    int index = m_instruments->IndexOf(item);
    return index > 0 ? index : 0;
}

int XViewNav::Notify(XControl* sender, int code, int value)
{
    (void)value;
    if (sender == m_favorites) {
        OnFavoritesNotify(code);
    } else if (sender == m_instruments) {
        if (code == kCodeLoad && m_instruments->GetSelectedCount() == 1)
            XControl::Notify(0, kCodeLoad);
    } else if (sender == m_tree) {
        ListInstruments();
    }
    return 0;
}

void XViewNav::OnFavoritesNotify(int code)
{
    // Another browser changed the list: the refill replaces this action.
    if (RefreshFavorites() || !m_favList)
        return;
    if (code == kCodeFavNew) {
        XTreeView::Node* node = m_tree->GetSelectedAt(0);
        if (!node || node->value != kNodeFolder)
            return;
        const char* path = m_tree->GetPath(node);
        // A full list, or a path that does not fit the tree, adds no row: the
        // pane and the list stay in step.
        if (!path[0])
            return;
        std::string name = node->name;
        if (!m_favList->Add(path))
            return;
        m_favorites->AddString(name.c_str(), kPicFavFolder);
        m_seenChange = m_favList->GetChangeCount();
        m_favorites->Invalidate();
        return;
    }
    if (code == kCodeFavDelete) {
        XListItem* item = m_favorites->GetSelected(0);
        int index = item ? m_favorites->IndexOf(item) : -1;
        if (index <= 0)
            return;
        if (!m_favList->Remove(index))
            return;
        m_favorites->RemoveItem(item);
        m_tree->Clear();
        m_tree->Invalidate();
        return;
    }
    XListItem* item = m_favorites->GetSelected(0);
    if (!item)
        return;
    ShowFolderOf(m_favorites->IndexOf(item));
}

void XViewNav::ShowFolderOf(int row)
{
    m_instruments->Clear();
    m_instruments->SetBankPath(nullptr);
    if (row <= 0) {
        m_tree->SetRootPath("");
        m_tree->ShowRoot(nullptr);
    } else {
        m_tree->ShowRoot(m_favList->GetPath(row));
    }
    m_tree->Invalidate();
}

void XViewNav::ListInstruments()
{
    m_instruments->Clear();
    m_instruments->SetBankPath(nullptr);
    m_instruments->SetText(nullptr);
    m_instruments->Invalidate();
    m_bankPath[0] = '\0';
    XTreeView::Node* node = m_tree->GetSelected();
    if (!node || node->value != kNodeBank)
        return;
    const char* path = m_tree->GetPath(node);
    size_t length = std::strlen(path);
    if (length == 0 || length >= sizeof m_bankPath)
        return;
    std::memcpy(m_bankPath, path, length + 1);
    if (!m_bank.Open(m_bankPath)) {
        // Why, where the instruments would be: a pipe or device named like
        // a bank, a file the user may not read, or one that is no bank.
        const int reason = file::WhyNotReadable(m_bankPath);
        m_instruments->SetText(reason ? file::ReasonText(reason).c_str() : kBankUnreadable);
        m_bankPath[0] = '\0';
        return;
    }
    m_instruments->SetBankPath(m_bankPath);
    for (int i = 0; i < m_bank.GetProgramCount(); ++i) {
        GigaProgram* program = m_bank.GetProgram(i);
        m_instruments->AddString(program ? program->GetName() : "", kPicInstrument);
    }
    m_instruments->Invalidate();
}
