#include "app/frmMirdal.h"
#include "app/Texts.h"
#include "app/resource.h"
#include "browse/pure/FolderRule.h"
#include "platform/FileSystem.h"
#include "platform/Prompt.h"
#include "platform/ScopedFlag.h"
#include "platform/Text.h"
#include "platform/WaitCursor.h"
#include <vector>

namespace {

// Pictures of the tree's image list: FLD2 (open folder), DRV, FLD1 (closed folder).
constexpr int PictureFLD2 = 0;
constexpr int PictureDRV = 1;
constexpr int PictureFLD1 = 2;
constexpr int NoPicture = -1;

} // namespace

HTREEITEM frmMirdal::FindNode(const std::wstring& key) const
{
    return nodes_.Find(key);
}

std::wstring frmMirdal::NodeKey(HTREEITEM node) const
{
    return nodes_.KeyOf(node);
}

namespace {

struct NodeAdder {
    const platform::TreeView& tree;
    FolderNodes<HTREEITEM>& nodes;

    void operator()(HTREEITEM parent, const std::wstring& key, const std::wstring& text, int image, int selected) const
    {
        HTREEITEM node = tree.AddItem(parent, text, image, selected);
        if (!node)
            platform::ThrowFailure(ERROR_NOT_ENOUGH_MEMORY);
        nodes.Add(key, node);
    }
};

} // namespace

void frmMirdal::SetDriveTree()
{
    platform::WaitCursor wait;
    NodeAdder add{trvDir, nodes_};
    std::vector<wchar_t> buffer(::GetLogicalDriveStringsW(0, nullptr) + 1, L'\0');
    DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size())
        return;
    for (const wchar_t* root = buffer.data(); *root; root += wcslen(root) + 1) {
        if (::GetDriveTypeW(root) != DRIVE_FIXED)
            continue;
        std::wstring rootText = root;
        add(TVI_ROOT, platform::UpperCase(rootText), rootText.substr(0, 2), PictureDRV, PictureDRV);
        AddPlaceholderNode(rootText);
    }
}

namespace {

// The names of the folders the tree shows under a folder, up to the first when one is enough. A folder
// that cannot be listed (access denied, a broken link, a loop) counts as holding none: a user who may not
// open a few system folders is not to be told so each time their parent is filled.
std::vector<std::wstring> ShownSubFolders(const std::wstring& path, bool firstOnly)
{
    std::vector<std::wstring> names;
    try {
        platform::FolderListing listing(path + L"*");
        WIN32_FIND_DATAW entry;
        while (listing.Next(entry)) {
            // Only what the listing reports as a folder has its attributes read again: a folder of many
            // files would otherwise cost a read for each of them.
            if (!folder_rule::IsShownFolder(entry.dwFileAttributes, entry.cFileName)
                || !frmMirdal::IsFolder(path + entry.cFileName))
                continue;
            names.emplace_back(entry.cFileName);
            if (firstOnly)
                break;
        }
    } catch (const platform::Failure&) {
    }
    return names;
}

} // namespace

void frmMirdal::AddPlaceholderNode(const std::wstring& path)
{
    if (ShownSubFolders(path, true).empty())
        return;
    try {
        HTREEITEM parent = FindNode(platform::UpperCase(path));
        if (!parent)
            platform::ThrowFailure(ERROR_PATH_NOT_FOUND);
        NodeAdder{trvDir, nodes_}(parent, nodes_.PlaceholderKey(platform::UpperCase(path)), L"@", NoPicture, NoPicture);
    } catch (const platform::Failure& failure) {
        platform::ShowFailure(hwnd_, platform::Failure(failure.Code(), failure.Description() + L"/0"));
    }
}

bool frmMirdal::IsFolder(const std::wstring& path)
{
    return folder_rule::IsFolder(platform::Attributes(path));
}

void frmMirdal::ExpandFolderNode(const std::wstring& path)
{
    std::wstring placeholderKey = nodes_.PlaceholderKey(platform::UpperCase(path));
    HTREEITEM placeholder = FindNode(placeholderKey);
    if (!placeholder)
        return;
    trvDir.DeleteItem(placeholder);
    nodes_.Remove(placeholderKey);

    platform::WaitCursor wait;
    HTREEITEM parent = FindNode(platform::UpperCase(path));
    NodeAdder add{trvDir, nodes_};
    std::vector<std::wstring> names = ShownSubFolders(path, false);
    for (const std::wstring& name : names)
        add(parent, platform::UpperCase(path + name + L"\\"), name, PictureFLD1, PictureFLD2);
    for (const std::wstring& name : names)
        AddPlaceholderNode(path + name + L"\\");
}

namespace {

// Selects a node (none: nothing), which opens the folders above it and scrolls it into sight.
void RevealNode(const platform::TreeView& tree, HTREEITEM node)
{
    if (!node)
        return;
    tree.Select(node);
    // Selecting a deep node may scroll the tree sideways to it; the drives and upper folders stay in sight.
    tree.ScrollFullyLeft();
    ::UpdateWindow(tree.Hwnd());
}

} // namespace

void frmMirdal::ShowFolder(const std::wstring& path)
{
    // Selecting and revealing nodes here is the program's doing, not the user's clicks or expansions.
    platform::ScopedFlag programmatic(programmaticTreeChange_);

    // The nodes are filled down the path first and the deepest reached is selected once: selecting one
    // opens the folders above it, and each selection on the way would scroll and repaint the tree again.
    HTREEITEM reached = nullptr;
    size_t start = 0;
    for (size_t slash; (slash = path.find(L'\\', start)) != std::wstring::npos; start = slash + 1) {
        std::wstring prefix = path.substr(0, slash + 1);
        ExpandFolderNode(prefix);
        HTREEITEM node = FindNode(platform::UpperCase(prefix));
        if (!node) {
            RevealNode(trvDir, reached);
            throw platform::Failure(ERROR_PATH_NOT_FOUND, Text(IDS_MSG_FOLDER_NOT_IN_TREE) + prefix);
        }
        reached = node;
    }
    RevealNode(trvDir, reached);
    SetFileListView(path);
}

void frmMirdal::trvDir_Expand(HTREEITEM node)
{
    ExpandFolderNode(NodeKey(node));
    trvDir.SortChildren(node);
    ListRegisteredLibraries();
    UpdateCommandState();
}

void frmMirdal::trvDir_Collapse(HTREEITEM node)
{
    {
        platform::ScopedFlag programmatic(programmaticTreeChange_);
        trvDir.Select(node);
    }
    SetFileListView(NodeKey(node));
    ListRegisteredLibraries();
    UpdateCommandState();
}

void frmMirdal::trvDir_NodeClick(HTREEITEM node)
{
    SetFileListView(NodeKey(node));
    ListRegisteredLibraries();
    UpdateCommandState();
}
