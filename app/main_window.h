#pragma once

#include "app/library_document.h"
#include "app/preview.h"
#include "app/thumbnail_grid.h"
#include "core/game_images.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QFileSystemModel;
class QTabBar;
class QFileSystemWatcher;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QSettings;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;

namespace velmora {

class TFrmAnimation;
class TStatusPane;
class TThumbnailCache;
class TWorker;
class TfrmConvertDlg;
class TFrmCreateData;
class TfrmDelDlg;
class TfrmInPutDlg;
class TfrmInPutManyDlg;
class TfrmOutPutDlg;
class TfrmXYDlg;
class TFrmPassword;
class TFrmChangePassword;
class TfrmCompareDlg;
class TLibraryClipboard;

// The main window: folder tree and file list on the left; toolbar, tabs, preview and thumbnail
// grid on the right; five status panes at the bottom; a menu bar that holds every command. Each
// open library is a document in a tab of its own, with its own undo steps, selection, notes and
// job; the grid, the preview and the status line show the current tab's document, are told by it
// and read from it.
class TfrmMain : public QMainWindow, public TOpenLibraries {
    Q_OBJECT
public:
    // The caption as designed; creation appends " 64位".
    static const char* const kDesignedCaption;
    // The address the home-page button opens.
    static QString HomePageAddress();

    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // --- Recent files ---
    // Reads Config.ini into g_RecentFiles and rebuilds the recent-file menu.
    void LoadRecentFiles();
    // Moves or inserts path at the head of the recent files, saves Config.ini, updates the menu.
    void AddRecentFile(const std::string& path);
    QMenu* PopupMenuDown() const { return FPopupMenuDown; }

    // --- Browsing ---
    // The folder-tree click: sets g_CurrentDir and fills the file list.
    void FolderSelected(const QString& folder);
    // Shows folder in the folder tree (as the start timer does) and runs FolderSelected.
    void SelectFolder(const QString& folder);
    // Lists the .Wil, .Wis, .Wzl and .Pak files of folder, sorted by name; the list follows
    // files that come and go while the folder is shown.
    void FillFileList(const std::string& folder);
    // The file list's double click: opens g_CurrentDir + the selected line.
    void OpenSelectedFile();
    // Ctrl+F: asks for a file name and opens the first file-list line with the same name.
    void FindFile();
    // The start timer's one tick: restores the folder and file line of the newest recent entry.
    void TimerStartTimer();

    // --- Libraries ---
    // Opens a library in a tab of its own: refusals and the Pak password are settled here, then
    // the library is read on a worker thread while the progress bar moves; its tab comes only
    // once it has been read. A file that cannot be read changes no tab and not the recent list.
    // A library open already has its tab shown; one asked for while another is read is opened
    // after it.
    void OpenLibrary(const std::string& fileName);
    // A library is being read.
    bool Opening() const;
    // Stops the reading of a library (and forgets those waiting for it).
    void CancelOpening();
    // 关闭文件: closes the current tab. With a job running on it the user is asked first; the
    // job is cancelled then and the tab closes when it has stopped.
    void CloseLibrary();
    // Closes a document's tab as CloseLibrary does.
    void CloseTab(TLibraryDocument& document);
    // The document's tab waits for its job to stop before it closes.
    bool Closing(const TLibraryDocument& document) const;
    // The current tab's document; null when no library is open.
    TLibraryDocument* Document() const { return FDocument; }
    // Every open document, in the order of the tabs.
    std::vector<TLibraryDocument*> Documents() const;
    // Makes a document's tab the current one.
    void ShowDocument(TLibraryDocument& document);
    QTabBar* TabBar() const { return FTabBar; }
    // Copy, paste, drags between tabs and the system clipboard.
    TLibraryClipboard* Clipboard() const { return FClipboard; }

    TLibraryDocument* DocumentOf(const std::string& path) const override;
    bool CloseDocument(TLibraryDocument& document) override;

    // --- Commands ---
    void Undo();
    void Redo();
    // Ctrl+G: asks for an image number and selects it.
    void GoToImage();
    // Selects the next (+1) or previous (-1) empty image after the current one.
    void FindEmptyImage(int direction);
    // 检查文件: reads every record on a worker and lists the damaged ones.
    void CheckLibraryCommand();
    // Shows the animation preview over the selected range.
    void ShowAnimation();
    // 比较: compares the current library with another open one and selects what differs.
    void CompareCommand();
    TFrmAnimation* Animation() const { return FAnimation; }
    // Moves the current image's offset by delta as one edit (Alt + arrows, a drag in the
    // preview); quick moves of one image merge into one undo step.
    void MoveSelectedOffset(QPoint delta);
    void SetThumbnailSize(int size);
    void SetPreviewBackground(TPreviewBackground background, const QColor& color);
    // Rebuilds the index of the open WIL or WZL library (修复索引) and shows what it found.
    void RepairIndex();
    // Enables the commands the open document allows now.
    void UpdateCommandStates();

    // --- Grid, preview and status line ---
    TCellView CellView(int index, int size);
    TThumbnailCache* Thumbnails() const;
    // Flips "透明显示" and rebuilds the preview of the selection.
    void TransparentClick();
    // Shows the document's records (grid, status panes) and its selection (preview, panes).
    void ShowRecords();
    void ShowSelection();
    // Panes 1 to 5.
    void SetStatusText(int pane, const QString& text);
    QString StatusText(int pane) const;

    TDrawGrid* DrawGrid() const { return FDrawGrid; }
    TPreviewArea* PreviewArea() const { return FPreviewArea; }
    QProgressBar* ProgressBar() const { return FProgressBar; }
    QListWidget* ListBoxFileName() const { return FListBoxFileName; }
    QTreeView* FolderTree() const { return FFolderTree; }
    QAction* TransparentAction() const { return FTransparentAction; }
    QAction* StoredViewAction() const { return FStoredViewAction; }
    QAction* UndoAction() const { return Action("MenuUndo"); }
    QAction* RedoAction() const { return Action("MenuRedo"); }
    // A command by the object name of its toolbar button or menu item.
    QAction* Action(const char* objectName) const;
    QToolButton* ToolButton(const char* objectName) const;

    // --- The dialogs, created once with the window and kept, so that they keep their values.
    TfrmConvertDlg* ConvertDialog() const { return FConvertDlg; }
    TFrmCreateData* CreateDialog() const { return FCreateData; }
    TfrmDelDlg* DeleteDialog() const { return FDelDlg; }
    TfrmInPutDlg* ImportDialog() const { return FInPutDlg; }
    TfrmInPutManyDlg* BatchImportDialog() const { return FInPutManyDlg; }
    TfrmOutPutDlg* BatchExportDialog() const { return FOutPutDlg; }
    TfrmXYDlg* OffsetDialog() const { return FXYDlg; }
    TFrmPassword* PasswordDialog() const { return FPassword; }
    TFrmChangePassword* ChangePasswordDialog() const { return FChangePassword; }
    TfrmCompareDlg* CompareDialog() const { return FCompareDlg; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void BuildActions();
    void BuildToolBar(QWidget* parent);
    void BuildMenus();
    void RebuildRecentMenu();
    QAction* AddRecentMenuItem(const QString& path);
    void OpenRecentFile(const QString& path);
    void ShowFolderContextMenu(const QPoint& pos);
    void OfferIndexRepair();
    bool RunPasswordFlow(TGameImages& library, const std::string& fileName, std::string& password);
    void OpenFinished();
    void OpenNextWaiting();
    // A read library becomes a document in a new tab, which is shown.
    void AddDocument(std::unique_ptr<TLibraryDocument> document);
    void ConnectDocument(TLibraryDocument& document);
    // The current tab changed: the views show its document.
    void CurrentTabChanged(int index);
    void RemoveTab(TLibraryDocument& document);
    int TabIndexOf(const TLibraryDocument& document) const;
    // One tab: its document and what the window shows of it while another tab is current.
    struct TDocumentTab {
        std::unique_ptr<TLibraryDocument> Document;
        QString Note;            // status pane 5
        int Scroll = 0;          // the grid's scroll position
        int Done = 0, Total = 0; // how far its job is
        bool Closing = false;    // closes once its job has stopped
    };
    TDocumentTab* TabOf(const TLibraryDocument& document) const;
    void UpdateTab(TLibraryDocument& document);
    // The progress bar shows the reading of a library, else the current tab's job, else nothing.
    void ShowProgress();
    void BusyChangedOf(TLibraryDocument& document, bool busy);
    void ShowStatusFile();

    void ToolButtonOpenFileClick();
    void ToolButtonHomePageClick();
    // The commands of the toolbar and the menus.
    void CreateLibraryCommand();
    void PasswordListCommand();
    void ChangePasswordCommand();
    void ImportCommand();
    void ExportCommand();
    void BatchImportCommand();
    void BatchExportCommand();
    void OffsetCommand();
    void DeleteCommand();
    void ConvertCommand();
    void ExitCommand();
    void AtlasImportCommand();
    void AtlasExportCommand();
    // The open document when a command may act on it now (open, and no job running).
    TLibraryDocument* IdleDocument() const;
    void LoadSettings();
    QSettings& Settings();
    // Why a file is refused before it is read (empty when it may be tried).
    QString OpenRefusal(const std::string& fileName, TImageType kind) const;

    QFileSystemModel* FFolderModel = nullptr;
    QTreeView* FFolderTree = nullptr;
    QListWidget* FListBoxFileName = nullptr;
    QFileSystemWatcher* FFolderWatcher = nullptr;
    QMenu* FPopupMenuDown = nullptr;
    TPreviewArea* FPreviewArea = nullptr;
    QProgressBar* FProgressBar = nullptr;
    QPushButton* FCancelButton = nullptr;
    TDrawGrid* FDrawGrid = nullptr;
    QAction* FTransparentAction = nullptr;
    QAction* FStoredViewAction = nullptr;
    QTimer* FTimerStart = nullptr;
    std::vector<QAction*> FToolActions;
    std::array<TStatusPane*, 5> FStatusPanes{};
    TFrmAnimation* FAnimation = nullptr;
    std::unique_ptr<QSettings> FSettings;

    QTabBar* FTabBar = nullptr;
    std::vector<std::unique_ptr<TDocumentTab>> FTabs;
    // The current tab's document.
    TLibraryDocument* FDocument = nullptr;
    TLibraryClipboard* FClipboard = nullptr;
    // Closing waits for the jobs it cancelled.
    bool FQuitWhenIdle = false;
    // The reading of a library that is being opened, with what it was opened with, and the
    // libraries asked for meanwhile.
    TWorker* FOpenWorker = nullptr;
    std::shared_ptr<std::unique_ptr<TGameImages>> FOpening;
    std::string FOpeningFile;
    std::string FOpeningPassWord;
    std::vector<std::string> FWaitingFiles;
    int FOpenDone = 0, FOpenTotal = 0;

    TfrmConvertDlg* FConvertDlg = nullptr;
    TFrmCreateData* FCreateData = nullptr;
    TfrmDelDlg* FDelDlg = nullptr;
    TfrmInPutDlg* FInPutDlg = nullptr;
    TfrmInPutManyDlg* FInPutManyDlg = nullptr;
    TfrmOutPutDlg* FOutPutDlg = nullptr;
    TfrmXYDlg* FXYDlg = nullptr;
    TFrmPassword* FPassword = nullptr;
    TFrmChangePassword* FChangePassword = nullptr;
    TfrmCompareDlg* FCompareDlg = nullptr;
};

} // namespace velmora
