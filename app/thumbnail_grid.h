#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QImage>
#include <QRect>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace velmora {

// What one cell of the grid shows.
struct TCellView {
    bool Image = false;   // the cell holds an image: it gets its number
    QImage Thumbnail;     // drawn at the cell's top-left corner; null while it is being made
    bool Damaged = false; // the image cannot be decoded: a red corner and a hatch
};

// The thumbnail grid: square cells with grid lines between them, as many columns as the width
// holds (at least one), a focused cell and a range of selected cells in reading order. Cell
// contents come from OnCell; the grid writes the outlined number of every image cell over its
// thumbnail. Only cells in view are asked for, so painting costs the same whatever the number of
// rows.
//
// The grid shows a selection it is given (SetSelection); what the user does with the mouse and
// the keys it reports as SelectionRequested. Only cells that hold an image are ever selected: the
// last row may have empty cells, which take no selection. Pressing a selected cell and moving the
// mouse away asks for the selection to be dragged (DragRequested) instead of selecting more.
class TDrawGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    // The columns and cell size of the default layout.
    static constexpr int kColCount = 10;
    static constexpr int kCellSize = 80;
    static constexpr int kMinCellSize = 48;
    static constexpr int kMaxCellSize = 160;
    static constexpr int kLineWidth = 1;
    static constexpr int kPitch = kCellSize + kLineWidth;

    using TCellProvider = std::function<TCellView(int index, int cellSize)>;

    explicit TDrawGrid(QWidget* parent = nullptr);

    int ColCount() const { return FCols; }
    int RowCount() const { return FRowCount; }
    int CellSize() const { return FCellSize; }
    int Pitch() const { return FCellSize + kLineWidth; }
    // The number of images: the grid has ImageCount div ColCount + 1 rows, and keyboard moves
    // stay on the images.
    void SetImageCount(int count);
    int ImageCount() const { return FImageCount; }
    // 48..160 pixels; the focused cell stays in view.
    void SetCellSize(int size);

    // The focused cell (0, 0 when nothing is selected).
    int Col() const { return std::max(FFocus, 0) % FCols; }
    int Row() const { return std::max(FFocus, 0) / FCols; }
    // The focused image; -1 when nothing is selected.
    int FocusIndex() const { return FFocus; }
    // The selected images, first and last, the focused cell included; (-1, -1) for none.
    std::pair<int, int> SelectedRange() const;
    // Shows a selection: anchor .. current, the focus on current (-1: none). Reports nothing.
    void SetSelection(int anchor, int current);
    // Shows single images as selected besides the range (those 比较 chose); empty for none.
    void SetSelectedImages(std::vector<int> images);
    bool IsShownSelected(int index) const;
    // As the user would: selects first..last with the focus on last, scrolls it into view and
    // reports it. Cells without an image are ignored.
    void SelectRange(int first, int last);
    // As the user would: focuses a cell (the selection collapses onto it), scrolls it into view
    // and reports it. Cells without an image are ignored.
    void FocusCell(int col, int row);
    void FocusIndex(int index) { FocusCell(index % FCols, index / FCols); }
    // The first row in view, and the images in view.
    int TopRow() const;
    std::pair<int, int> VisibleRange() const;

    void SetOnCell(TCellProvider onCell) { FOnCell = std::move(onCell); }
    // Repaints the cell of one image, if it is in view.
    void UpdateIndex(int index);

    // The number label's font; its text height decides where the label sits.
    void SetLabelFont(const QFont& font);

    // The cell under a viewport point; (-1, -1) outside the cells.
    QPoint CellAt(const QPoint& viewportPos) const;
    // A cell's rectangle in viewport coordinates.
    QRect CellRect(int col, int row) const;

signals:
    // The user (or FocusCell, SelectRange) asked for images anchor .. current to be selected.
    void SelectionRequested(int anchor, int current);
    // The column count followed the width; the focus keeps its image.
    void ColumnsChanged(int cols);
    // Ctrl + wheel asked for another cell size.
    void CellSizeRequested(int size);
    // The user pressed a selected cell and moved the mouse away with the button down.
    void DragRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void UpdateLayout();
    void UpdateScrollBars();
    void MoveFocus(int index, bool extend);
    void Request(int anchor, int current);
    void ScrollToIndex(int index);
    void DrawLabel(QPainter& painter, const QRect& cell, int index) const;

    int FCols = kColCount;
    int FCellSize = kCellSize;
    int FImageCount = 0;
    int FRowCount = 1;
    int FFocus = -1;
    int FAnchor = -1;
    std::vector<int> FImages;
    // A press on a selected cell that becomes a drag once the mouse moves far enough, or a click
    // on that cell when it does not.
    int FPressed = -1;
    QPoint FPressedAt;
    TCellProvider FOnCell;
    QFont FLabelFont;
};

} // namespace velmora
