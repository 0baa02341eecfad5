#pragma once

#include "core/dib.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QRect>

#include <functional>

namespace velmora {

// The thumbnail grid: ten columns of 80 x 80 cells with grid lines between them, a focused cell
// and a range selection. Cell contents come from OnDrawCell, which draws into a raster surface
// (the core's 32-bit TDIB standing in for a device context); the grid shows that surface as it is
// and writes the outlined number of every drawn cell over it. Only cells in view are drawn, so
// painting costs the same whatever the number of rows.
class TDrawGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kColCount = 10;
    static constexpr int kCellSize = 80;
    static constexpr int kLineWidth = 1;
    static constexpr int kPitch = kCellSize + kLineWidth;

    // Draws cell (col, row) into dc with its box at (x, y), kCellSize square; true when the cell
    // shows an image, which then gets its number label.
    using TDrawCell = std::function<bool(TDIB& dc, int col, int row, int x, int y)>;

    explicit TDrawGrid(QWidget* parent = nullptr);

    int ColCount() const { return kColCount; }
    int RowCount() const { return FRowCount; }
    // At least one row. The focused cell moves up when its row goes away.
    void SetRowCount(int rows);

    int Col() const { return FCol; }
    int Row() const { return FRow; }
    // The selected cells as (left, top) - (right, bottom), the focused cell included.
    QRect Selection() const;
    // Focuses a cell (the selection collapses onto it), scrolls it into view and reports it with
    // CellSelected. Cells outside the grid are ignored.
    void FocusCell(int col, int row);
    // The first row in view.
    int TopRow() const;

    void SetOnDrawCell(TDrawCell onDrawCell) { FOnDrawCell = std::move(onDrawCell); }

    // The number label's font; its text height decides where the label sits.
    void SetLabelFont(const QFont& font);

    // The cell under a viewport point; (-1, -1) outside the cells.
    QPoint CellAt(const QPoint& viewportPos) const;
    // A cell's rectangle in viewport coordinates.
    QRect CellRect(int col, int row) const;

signals:
    // The user (or FocusCell) moved the focus to a cell.
    void CellSelected(int col, int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void UpdateScrollBars();
    void MoveFocus(int col, int row, bool extend);
    void ScrollToCell(int col, int row);
    void DrawLabel(QPainter& painter, const QRect& cell, int index) const;

    int FRowCount = 1;
    int FCol = 0;
    int FRow = 0;
    int FAnchorCol = 0;
    int FAnchorRow = 0;
    TDrawCell FOnDrawCell;
    QFont FLabelFont;
    TDIB FSurface;
};

} // namespace velmora
