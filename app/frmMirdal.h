#pragma once
// The one window of the program. It owns every control and all state; the procedures of each
// part of the program are its methods, defined in the folder of that part (browse/, register/, registry/).
#include "platform/Edit.h"
#include "platform/ListView.h"
#include "platform/Menu.h"
#include "platform/StatusBar.h"
#include "platform/ToolBar.h"
#include "platform/TreeView.h"
#include "platform/UniqueHandle.h"
#include "platform/WaitCursor.h"
#include "browse/pure/FileRows.h"
#include "browse/pure/FolderNodes.h"
#include "register/FileOutcome.h"
#include "register/pure/HostProtocol.h"
#include "platform/Failure.h"
#include <ole2.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform { class FileDropTarget; }
class LibraryScan;
struct BrokenRegistration;
class LogWriter;
class RunPump;
class RunJournal;
class ClaimedRun;
struct StoredRun;
struct JournalRun;
class RegistrationHosts;
struct HostRequest;
namespace pe { struct ImageFacts; }
class TipReader;

class frmMirdal {
public:
    // Creates the window and runs its start-up; nullptr when either failed (the start-up's failure
    // was shown). The caller owns the object, which must outlive the window's messages.
    static std::unique_ptr<frmMirdal> Create(HINSTANCE instance);
    ~frmMirdal();
    HWND Hwnd() const { return hwnd_; }
    // Keyboard navigation and accelerators, before a message is dispatched.
    bool PreTranslateMessage(MSG& msg);

    // Start-up, settings and shutdown (app/Startup.cpp).
    void Form_Load();
    bool Form_QueryUnload(int unloadMode); // True refuses the close.
    void Form_Unload();
    void ShowRememberedPath(const std::wstring& path);
    void ShowRememberedFolder(const std::wstring& folder);

    // Layout and result panel (app/Layout.cpp).
    void Form_Resize();
    void Form_Paint(HDC dc);
    void picRes_Resize();
    void cmdClose_Click();

    // Commands (app/Commands.cpp).
    void mnuF_Click(short index);
    void mnuFile_Click();
    void mnuR_Click(short index);
    void mnuReg_Click();
    void mnuV_Click(short index);
    void tlbMirdal_ButtonClick(const platform::ToolButton& button);
    void tlbMirdal_ButtonDropDown(const platform::ToolButton& button);
    void lsvFile_MouseDown(int button, int shift, int x, int y);
    // Shift+F10 or the Menu key on the file list.
    void lsvFile_ContextMenuKey();
    // The File menu at a selected row (no menu at a row that is not selected), the View menu off the rows.
    void ShowFileListMenu(int row, POINT screen);
    // The View menu as a pop-up at a point of the screen, unless a run holds it disabled.
    void ShowViewMenu(POINT screen);

    // Command enablement (app/Enablement.cpp).
    void UpdateCommandState();
    bool CheckListItemSelect();
    void lsvFile_GotFocus();
    void trvDir_GotFocus();

    // Drive and folder tree (browse/DriveTree.cpp).
    void SetDriveTree();
    void AddPlaceholderNode(const std::wstring& path);
    static bool IsFolder(const std::wstring& path);
    void ExpandFolderNode(const std::wstring& path);
    void ShowFolder(const std::wstring& path);
    void trvDir_Expand(HTREEITEM node);
    void trvDir_Collapse(HTREEITEM node);
    void trvDir_NodeClick(HTREEITEM node);
    // The node of a key (upper-cased full path), or nullptr.
    HTREEITEM FindNode(const std::wstring& key) const;
    std::wstring NodeKey(HTREEITEM node) const;

    // File list (browse/FileList.cpp; its tips in browse/FileInfoTip.cpp).
    void SetFileListView(std::wstring o_Path);
    void lsvFile_ColumnClick(int column);
    // Type-to-find of the owner-data list: the row of the typed name, or -1.
    int lsvFile_FindItem(const NMLVFINDITEMW& find) const;
    // The row of a key (full path), or -1.
    int FindFileRow(const std::wstring& key) const;
    const FileRow& FileRowAt(int index) const { return fileRows_[static_cast<size_t>(index)]; }
    // What the hovered row's file is, read from its headers without running it.
    LRESULT lsvFile_GetInfoTip(NMLVGETINFOTIPW* info);
    // Posted by the tip's reader when tips are ready to be taken.
    static constexpr UINT WM_TIP_READY = WM_APP + 19;
    void lsvFile_TipReady();

    // Dropping files onto the list (browse/Drop.cpp).
    void lsvFile_OLEDragDrop(IDataObject* data);

    // Registration and batch files, which report in the result panel (register/Registration.cpp, Manifest.cpp,
    // BatchFiles.cpp, Undo.cpp; the search for broken registrations in registry/BrokenDialog.cpp).
    // Where a run's registrations go: the registry itself, the current user's part of it only, or a
    // .reg file, while the registry stays as it was; or the registry itself through hosts with
    // administrator rights, when the window has none.
    enum class RegistrationTarget { Registry, CurrentUser, RegFile, Administrator };
    // The tree and both lists, which the result panel covers while it is up.
    void EnableCoveredPanes(bool enabled);
    void RunRegistration(bool o_Register, RegistrationTarget target = RegistrationTarget::Registry,
                         const std::wstring& regFile = {});
    // Asks for the .reg file and exports the selected files' registrations to it.
    void ExportRegistration();
    // Asks for the manifest file and writes the selected files' classes and type libraries to it.
    void ExportManifest();
    void CreateBatchFiles();
    // Asks which journaled run to undo and undoes it, file by file, in the result panel.
    void UndoRegistration();
    // Searches both registry views for registrations whose files are gone and removes those the user
    // checks, as a journaled run in the result panel.
    void SearchBrokenRegistrations();

    // Registered-library scan (registry/ListRegisteredLibraries.cpp).
    void ListRegisteredLibraries();

    // Controls.
    platform::ToolBar tlbMirdal;
    platform::StatusBar stbMirdal;
    platform::TreeView trvDir;
    platform::ListView lsvFile;
    platform::ListView lsvReg;
    platform::Window picRes;
    platform::Edit txtRes;
    platform::Window cmdClose;
    platform::Menu mnuMain, mnuFile, mnuReg, mnuView;
    platform::UniqueImageList imlMirdal, imlFileS, imlFileL, imlDir;

    // Window-level state.
    platform::ToolButton btnReg, btnUnreg, btnRegRead, btnRegBat, btnView;
    platform::StatusPanel pnlFCount, pnlPath;
    // A run: Running (or WritingBatchFiles) while it goes, Finished while its panel stays up, Idle once
    // "閉じる" hid it. The only record of it: the menus, the toolbar and the commands read this.
    enum class RunState { Idle, Running, WritingBatchFiles, Finished };
    RunState runState = RunState::Idle;
    bool IsBusy() const { return runState != RunState::Idle; }
    // The state with all that goes with it: the result panel and its button, the menus, the toolbar,
    // the panes the panel covers, the focus and the pointer (app/Commands.cpp).
    void SetRunState(RunState state);

    // Positions of the top-level menus in the menu bar.
    static constexpr int FileMenuPosition = 0, RegistryMenuPosition = 1, ViewMenuPosition = 2;
    // Positions of the items in the File and Registry menus, which are also the indexes that mnuF_Click
    // and mnuR_Click take (each item's id is its menu's first id plus its index). The search for broken
    // registrations, the newest item, stands after the manifest item, at position 8, with index 10.
    enum FileItem : short { FileRegister = 0, FileUnregister = 1, FileBatch = 3, FileQuitSeparator = 4, FileQuit = 5 };
    enum RegistryItem : short {
        RegistryRead = 0,
        RegistryUserRegister = 2,
        RegistryUserUnregister = 3,
        RegistryAdminRegister = 4,
        RegistryAdminUnregister = 5,
        RegistryExport = 6,
        RegistryManifest = 7,
        RegistryUndo = 9,
        RegistryBroken = 10,
    };

    unsigned Dpi() const;
    double TwipsPerPixel() const;

private:
    // The window and its messages (app/frmMirdal.cpp; the subclass procedures in app/Controls.cpp, OnSize
    // and OnDpiChanged in app/Layout.cpp).
    frmMirdal();
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK FileListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnDestroy();
    void OnCommand(int id, int code, HWND control);
    LRESULT OnNotify(NMHDR* header);
    LRESULT OnTreeNotify(NMHDR* header);
    LRESULT OnFileListNotify(NMHDR* header);
    void OnInitMenuPopup(HMENU menu);
    void OnSize();
    void OnDpiChanged(const RECT& suggested);
    void Close(int unloadMode);

    // Controls and their layout (app/Controls.cpp, app/Layout.cpp).
    void CreateControls();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateLists();
    void SizeColumns();
    void CreateResultPanel();
    void LoadImageLists();
    void ApplyFonts();
    void SizeStatusPanels();
    void SizeToolBarButtons();
    void DockBars();
    void MoveTwips(const platform::Window& control, long left, long top, long width, long height) const;
    // Runs a handler and reports whatever it throws in the critical message box (app/frmMirdal.cpp).
    template <class F> void Reporting(F&& handler);
    void ReportFailure(unsigned long code, const std::wstring& description) const;

    // Runs and their log (app/Commands.cpp; register/Registration.cpp, Manifest.cpp, Undo.cpp,
    // BrokenRemoval.cpp, BatchFiles.cpp, SelectedRowRun.cpp).
    void MarkElevatingItems();
    bool StartRun(const std::function<void()>& run);
    std::wstring OutcomeText(long code) const;
    // A server's file to the host of its bitness, unless what the file itself shows refuses it first.
    // With `elevated`, a host with administrator rights; `journal` is where a journaled call's entry goes.
    FileOutcome RegisterFile(host_protocol::Operation operation, const std::wstring& path, const std::function<void()>& pump,
                             bool elevated = false, const std::wstring& journal = {});
    // A request to the host of that bitness; a server's `facts` explain its crash or load failure.
    FileOutcome CallHost(const HostRequest& request, bool x64, bool elevated, const std::function<void()>& pump,
                         const pe::ImageFacts* facts = nullptr);
    // RegisterFile, the log told of a window the server shows meanwhile.
    FileOutcome RegisterWatched(host_protocol::Operation operation, const std::wstring& path, LogWriter& log,
                                const std::function<void()>& pump, bool elevated = false, const std::wstring& journal = {});
    // The manifest of the selected files, as assembly `name`, in the result panel.
    void WriteManifest(const std::wstring& path, const std::wstring& name);
    // The outcome's lines in the log: the library's code as text, then why, as far as known.
    std::wstring OutcomeLines(const FileOutcome& outcome) const;
    std::wstring JournalLine(RunJournal& journal, const FileOutcome& outcome, bool windowWrites) const;
    bool UndoLines(const FileOutcome& outcome, std::wstring& lines, size_t& kept) const;
    // Undoes the run taken for it: `run` as read when it was taken; `claim` the window's hold on a file of the user's folder.
    void UndoClaimed(const StoredRun& stored, const JournalRun& run, std::optional<ClaimedRun>& claim, bool elevated);
    void RemoveRegistrations(const std::vector<BrokenRegistration>& registrations);
    // A run that writes the registry, in the result panel: work gets the log and the pump that keeps the
    // window answering; whatever happens, the final steps and then the run's own end follow.
    void RunInPanel(const std::function<void(LogWriter&, RunPump&)>& work,
                    const std::function<void()>& finalSteps);
    std::wstring BatchLine(const FileRow& file, bool registering) const;
    // The files of the rows selected as a run starts, in list order: what the user does while it goes
    // (another selection, another folder) changes none of them.
    std::vector<FileRow> SelectedFiles() const;

    // browse/FileList.cpp.
    void FillFileRowText(NMLVDISPINFOW* info) const;

    HWND hwnd_ = nullptr;
    // The hourglass of the run under way.
    std::optional<platform::WaitCursor> runCursor_;
    platform::UniqueFont font_;
    HACCEL accelerators_ = nullptr;
    platform::FileDropTarget* dropTarget_ = nullptr;
    bool programmaticTreeChange_ = false;
    bool unloaded_ = false;
    std::wstring appName_;

    FolderNodes<HTREEITEM> nodes_;
    FileRows fileRows_;
    std::unordered_map<std::wstring, std::wstring> fileTips_; // by row key, until the next listing
    bool sortDescending_ = false;
    bool listingComplete_ = false;
    // The folder last listed, whose files the list shows; empty until one could be.
    std::wstring shownFolder_;
    HWND focusBeforeRun_ = nullptr;
    std::vector<HWND> tabOrder_;
    // Parts whose types live in their own folders, which also say how each goes.
    struct PartDeleter {
        void operator()(LibraryScan* scan) const noexcept;
        void operator()(RegistrationHosts* hosts) const noexcept;
        void operator()(TipReader* reader) const noexcept;
    };
    // Made at the first scan.
    std::unique_ptr<LibraryScan, PartDeleter> libraryScan_;
    // The registration hosts, started at the first file of their bitness and kept until the window goes.
    std::unique_ptr<RegistrationHosts, PartDeleter> hosts_;
    // The picture of the items that ask for administrator rights; the menu draws it but does not own it.
    platform::UniqueBitmap shield_;
    // Made at the first hover over a row whose tip is not known yet.
    std::unique_ptr<TipReader, PartDeleter> tipReader_;
};

template <class F>
void frmMirdal::Reporting(F&& handler)
{
    try {
        handler();
    } catch (...) {
        platform::Failure failure = platform::CurrentFailure();
        ReportFailure(failure.Code(), failure.Description());
    }
}
