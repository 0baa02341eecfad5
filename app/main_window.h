#pragma once

#include "app/edit_history.h"
#include "app/preview.h"
#include "app/thumbnail_grid.h"
#include "core/game_images.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QFileSystemModel;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QSplitter;
class QTimer;
class QToolButton;
class QTreeView;
class QSettings;

namespace velmora {

class TThumbnailCache;
class TFrmAnimation;
class TStatusPane;

// The main window: folder tree and file list on the left; toolbar, preview and thumbnail grid on
// the right; five status panes at the bottom. It opens and closes the one library g_Images.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // The caption as designed; creation appends " 64位".
    static const QString kDesignedCaption;
    // The address the home-page button opens.
    static QString HomePageAddress();

    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // --- Recent files ---
    // Reads Config.ini into g_RecentFiles and rebuilds the open button's drop-down menu.
    void LoadRecentFiles();
    // Moves or inserts path at the head of the recent files, saves Config.ini, updates the menu.
    void AddRecentFile(const std::string& path);
    QMenu* PopupMenuDown() const { return FPopupMenuDown; }

    // --- Browsing ---
    // The folder-tree click: sets g_CurrentDir and fills the file list.
    void FolderSelected(const QString& folder);
    // Shows folder in the folder tree (as the start timer does) and runs FolderSelected.
    void SelectFolder(const QString& folder);
    // Lists the .Wil, .Wis, .Wzl and .Pak files of folder, in the order the file system gives them.
    void FillFileList(const std::string& folder);
    // The file list's double click: opens g_CurrentDir + the selected line.
    void OpenSelectedFile();
    // Ctrl+F: asks for a file name and opens the first file-list line with the same name.
    void FindFile();
    // The start timer's one tick: restores the folder and file line of the newest recent entry.
    void TimerStartTimer();

    // --- Libraries ---
    void OpenLibrary(const std::string& fileName);
    // Ignored while a library is being read.
    void CloseLibrary();

    // Frees the open library (waiting for thumbnails being made of it); the window forgets its
    // undo steps.
    void ReleaseLibrary();

    // --- Commands ---
    // Runs a command; afterwards the window shows the library's current snapshot, whether the
    // command succeeded or not, and an undoable command that changed the records becomes an undo
    // step named `name`.
    void RunCommand(const QString& name, bool undoable, const std::function<void()>& body);
    // Shows what the open library holds now: grid, status panes and the selection's preview.
    void RefreshView();
    void Undo();
    void Redo();
    TEditHistory& History() { return FHistory; }
    QAction* UndoAction() const { return FUndoAction; }
    QAction* RedoAction() const { return FRedoAction; }
    // Ctrl+G: asks for an image number and selects it.
    void GoToImage();
    // Selects the next (+1) or previous (-1) empty image after the focused one.
    void FindEmptyImage(int direction);
    // 检查文件: reads every record and lists the damaged ones.
    void CheckLibraryCommand();
    // Shows the animation preview over the selected range.
    void ShowAnimation();
    TFrmAnimation* Animation() const { return FAnimation; }
    // Moves the selected image's offset by delta as one undoable edit.
    void MoveSelectedOffset(QPoint delta);
    // Alt + arrows: the moves of one burst of key presses become one edit.
    void NudgeSelectedOffset(QPoint delta);
    void SetThumbnailSize(int size);
    void SetPreviewBackground(TPreviewBackground background, const QColor& color);
    // Enables the commands that need an open library (and an editable one) and names the undo
    // and redo items after their steps.
    void UpdateCommandStates();

    // --- Grid, preview and status line ---
    // What the grid cell of image index shows: its thumbnail once made, its number, its damage.
    TCellView CellView(int index, int size);
    TThumbnailCache* Thumbnails() const { return FThumbnails; }
    // Selecting a cell: fills g_Selection, shows the preview and writes the status panes.
    void DrawGridSelectCell(int col, int row);
    // Flips "透明显示" and rebuilds the preview of the selection.
    void TransparentClick();
    // Rebuilds the index of the open WIL or WZL library (修复索引) and shows what it found.
    void RepairIndex();
    // The grid gets ImageCount div columns + 1 rows (one without a library); grid and preview
    // repaint.
    void UpdateGridRows();
    void ClearPreview();
    // Panes 1 to 5.
    void SetStatusText(int pane, const QString& text);
    QString StatusText(int pane) const;

    TDrawGrid* DrawGrid() const { return FDrawGrid; }
    TPreviewArea* PreviewArea() const { return FPreviewArea; }
    QProgressBar* ProgressBar() const { return FProgressBar; }
    QListWidget* ListBoxFileName() const { return FListBoxFileName; }
    QTreeView* FolderTree() const { return FFolderTree; }
    QAction* TransparentAction() const { return FTransparentAction; }
    QToolButton* ToolButton(const char* objectName) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void BuildToolBar(QWidget* parent);
    void RebuildRecentMenu();
    QAction* AddRecentMenuItem(const QString& path);
    void ShowFolderContextMenu(const QPoint& pos);
    void OfferIndexRepair();
    void HookReadEvents(TGameImages& library);
    bool RunPasswordFlow(TGameImages& library, const std::string& fileName);
    void ProcessMessages();

    void ToolButtonOpenFileClick();
    void ToolButtonHomePageClick();
    void BuildMenus();
    void LoadSettings();
    QSettings& Settings();
    // Why a file is refused before it is read (empty when it may be tried).
    QString OpenRefusal(const std::string& fileName, TImageType kind) const;
    void ShowDamageOfSelection(int index);
    void FinishCommand(TGameImages* library, const std::shared_ptr<const TRecordList>& before,
                       const QString& name, bool undoable);

    QFileSystemModel* FFolderModel = nullptr;
    QTreeView* FFolderTree = nullptr;
    QListWidget* FListBoxFileName = nullptr;
    QMenu* FPopupMenuDown = nullptr;
    TPreviewArea* FPreviewArea = nullptr;
    QProgressBar* FProgressBar = nullptr;
    TDrawGrid* FDrawGrid = nullptr;
    QAction* FTransparentAction = nullptr;
    QTimer* FTimerStart = nullptr;
    std::array<TStatusPane*, 5> FStatusPanes{};
    TThumbnailCache* FThumbnails = nullptr;
    TEditHistory FHistory;
    QAction* FUndoAction = nullptr;
    QAction* FRedoAction = nullptr;
    std::vector<QAction*> FLibraryActions;
    TFrmAnimation* FAnimation = nullptr;
    std::unique_ptr<QSettings> FSettings;
    QTimer* FNudgeTimer = nullptr;
    QPoint FNudge;
    // True between a library's first and last read event: its images are still arriving.
    bool FReading = false;
    QElapsedTimer FSinceMessages;
    // Incremented by every FillFileList so that a fill interrupted by a newer one stops.
    int FFillGeneration = 0;
};

} // namespace velmora
