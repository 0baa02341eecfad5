#pragma once

#include "app/preview.h"
#include "app/thumbnail_grid.h"
#include "core/game_images.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <array>
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

namespace velmora {

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

    // --- Grid, preview and status line ---
    // Draws the thumbnail of cell (col, row) into dc; true when the cell shows an image.
    bool DrawGridDrawCell(TDIB& dc, int col, int row, int x, int y);
    // Selecting a cell: fills g_Selection, shows the preview and writes the status panes.
    void DrawGridSelectCell(int col, int row);
    // Flips "透明显示" and rebuilds the preview of the selection.
    void TransparentClick();
    // Rebuilds the index of the open WIL or WZL library (修复索引) and shows what it found.
    void RepairIndex();
    // The grid gets ImageCount div 10 + 1 rows (one without a library); grid and preview repaint.
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
    void SetEditButtonsEnabled(bool enabled);
    void OfferIndexRepair();
    void HookReadEvents(TGameImages& library);
    bool RunPasswordFlow(TGameImages& library, const std::string& fileName);
    void ProcessMessages();

    void ToolButtonOpenFileClick();
    void ToolButtonHomePageClick();

    QFileSystemModel* FFolderModel = nullptr;
    QTreeView* FFolderTree = nullptr;
    QListWidget* FListBoxFileName = nullptr;
    QMenu* FPopupMenuDown = nullptr;
    TPreviewArea* FPreviewArea = nullptr;
    QProgressBar* FProgressBar = nullptr;
    TDrawGrid* FDrawGrid = nullptr;
    QAction* FTransparentAction = nullptr;
    QTimer* FTimerStart = nullptr;
    std::array<QLabel*, 5> FStatusPanes{};
    // True between a library's first and last read event: its images are still arriving.
    bool FReading = false;
    QElapsedTimer FSinceMessages;
    // Incremented by every FillFileList so that a fill interrupted by a newer one stops.
    int FFillGeneration = 0;
};

} // namespace velmora
