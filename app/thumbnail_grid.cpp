#include "app/thumbnail_grid.h"

#include "app/status_texts.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace velmora {

namespace {

constexpr TColor kCellColor = RGBColor(255, 255, 255);
constexpr TColor kLineColor = RGBColor(192, 192, 192);

TColor ToTColor(const QColor& c) {
    return RGBColor(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
}

} // namespace

TDrawGrid::TDrawGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("DrawGrid"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(kPitch / 4);
    horizontalScrollBar()->setSingleStep(kPitch / 4);
    FSurface.SetPixelFormat(MakePixelFormat(8, 8, 8));
    FLabelFont = font();
    UpdateScrollBars();
}

void TDrawGrid::SetLabelFont(const QFont& font) {
    FLabelFont = font;
    viewport()->update();
}

void TDrawGrid::SetRowCount(int rows) {
    FRowCount = std::max(1, rows);
    FRow = std::min(FRow, FRowCount - 1);
    FAnchorRow = std::min(FAnchorRow, FRowCount - 1);
    UpdateScrollBars();
    viewport()->update();
}

QRect TDrawGrid::Selection() const {
    return QRect(QPoint(std::min(FCol, FAnchorCol), std::min(FRow, FAnchorRow)),
                 QPoint(std::max(FCol, FAnchorCol), std::max(FRow, FAnchorRow)));
}

int TDrawGrid::TopRow() const {
    return verticalScrollBar()->value() / kPitch;
}

void TDrawGrid::FocusCell(int col, int row) {
    if (col < 0 || col >= kColCount || row < 0 || row >= FRowCount)
        return;
    FCol = FAnchorCol = col;
    FRow = FAnchorRow = row;
    ScrollToCell(col, row);
    viewport()->update();
    emit CellSelected(col, row);
}

QPoint TDrawGrid::CellAt(const QPoint& pos) const {
    const int x = pos.x() + horizontalScrollBar()->value();
    const int y = pos.y() + verticalScrollBar()->value();
    if (x < 0 || y < 0)
        return {-1, -1};
    const int col = x / kPitch;
    const int row = y / kPitch;
    if (col >= kColCount || row >= FRowCount)
        return {-1, -1};
    return {col, row};
}

QRect TDrawGrid::CellRect(int col, int row) const {
    return QRect(col * kPitch - horizontalScrollBar()->value(),
                 row * kPitch - verticalScrollBar()->value(), kCellSize, kCellSize);
}

void TDrawGrid::UpdateScrollBars() {
    const QSize view = viewport()->size();
    const int contentWidth = kColCount * kPitch;
    const int contentHeight = FRowCount * kPitch;
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth - view.width()));
    horizontalScrollBar()->setPageStep(std::max(1, view.width()));
    verticalScrollBar()->setRange(0, std::max(0, contentHeight - view.height()));
    verticalScrollBar()->setPageStep(std::max(1, view.height()));
}

void TDrawGrid::ScrollToCell(int col, int row) {
    const QSize view = viewport()->size();
    QScrollBar* v = verticalScrollBar();
    const int top = row * kPitch;
    if (top < v->value())
        v->setValue(top);
    else if (top + kCellSize > v->value() + view.height())
        v->setValue(top + kCellSize - view.height());
    QScrollBar* h = horizontalScrollBar();
    const int left = col * kPitch;
    if (left < h->value())
        h->setValue(left);
    else if (left + kCellSize > h->value() + view.width())
        h->setValue(left + kCellSize - view.width());
}

void TDrawGrid::MoveFocus(int col, int row, bool extend) {
    col = std::clamp(col, 0, kColCount - 1);
    row = std::clamp(row, 0, FRowCount - 1);
    FCol = col;
    FRow = row;
    if (!extend) {
        FAnchorCol = col;
        FAnchorRow = row;
    }
    ScrollToCell(col, row);
    viewport()->update();
    emit CellSelected(col, row);
}

void TDrawGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TDrawGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const QPoint cell = CellAt(event->position().toPoint());
    if (cell.x() < 0)
        return;
    MoveFocus(cell.x(), cell.y(), event->modifiers() & Qt::ShiftModifier);
}

void TDrawGrid::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint cell = CellAt(event->position().toPoint());
    if (cell.x() < 0 || (cell.x() == FCol && cell.y() == FRow))
        return;
    MoveFocus(cell.x(), cell.y(), true);
}

void TDrawGrid::keyPressEvent(QKeyEvent* event) {
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int pageRows = std::max(1, viewport()->height() / kPitch);
    switch (event->key()) {
    case Qt::Key_Left:
        return MoveFocus(FCol - 1, FRow, extend);
    case Qt::Key_Right:
        return MoveFocus(FCol + 1, FRow, extend);
    case Qt::Key_Up:
        return MoveFocus(FCol, FRow - 1, extend);
    case Qt::Key_Down:
        return MoveFocus(FCol, FRow + 1, extend);
    case Qt::Key_PageUp:
        return MoveFocus(FCol, FRow - pageRows, extend);
    case Qt::Key_PageDown:
        return MoveFocus(FCol, FRow + pageRows, extend);
    case Qt::Key_Home:
        return MoveFocus(0, ctrl ? 0 : FRow, extend);
    case Qt::Key_End:
        return MoveFocus(kColCount - 1, ctrl ? FRowCount - 1 : FRow, extend);
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void TDrawGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TDrawGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void TDrawGrid::DrawLabel(QPainter& painter, const QRect& cell, int index) const {
    const QString text = CellNumberText(index);
    const QFontMetrics metrics(FLabelFont);
    const int h = metrics.height();
    const int ascent = metrics.ascent();
    const int left = cell.left();
    const int bottom = cell.top() + kCellSize;
    // White at four neighbouring positions, then black on top: a black number with a white
    // outline that stays readable over any thumbnail.
    painter.setPen(Qt::white);
    painter.drawText(left - 1, bottom - h + ascent, text);
    painter.drawText(left + 1, bottom - h + 1 + ascent, text);
    painter.drawText(left, bottom - h - 1 + ascent, text);
    painter.drawText(left, bottom - h + 1 + ascent, text);
    painter.setPen(Qt::black);
    painter.drawText(left, bottom - h + ascent, text);
}

void TDrawGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    painter.fillRect(dirty, Qt::white);

    const int sx = horizontalScrollBar()->value();
    const int sy = verticalScrollBar()->value();
    const int firstCol = std::max(0, (dirty.left() + sx) / kPitch);
    const int lastCol = std::min(kColCount - 1, (dirty.right() + sx) / kPitch);
    const int firstRow = std::max(0, (dirty.top() + sy) / kPitch);
    const int lastRow = std::min(FRowCount - 1, (dirty.bottom() + sy) / kPitch);
    if (firstCol > lastCol || firstRow > lastRow)
        return;

    // The surface covers whole cells so that every thumbnail is drawn with its box inside it. It
    // keeps the size of the largest screen seen: allocating it anew for every paint costs more
    // than drawing. Cell (col, row) sits at ((col - firstCol) * kPitch, (row - firstRow) * kPitch)
    // of its visual rows, which are the last rows of its bottom-up storage.
    const int width = (lastCol - firstCol + 1) * kPitch;
    const int height = (lastRow - firstRow + 1) * kPitch;
    if (FSurface.Width() < width || FSurface.Height() < height)
        FSurface.SetSize(std::max(width, FSurface.Width()), std::max(height, FSurface.Height()),
                         32);
    FSurface.FillRect(0, 0, width, height, kLineColor);
    const QRect selection = Selection();
    const TColor selected = ToTColor(palette().color(QPalette::Highlight));
    std::vector<std::pair<QRect, int>> labels;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int col = firstCol; col <= lastCol; ++col) {
            const int x = (col - firstCol) * kPitch;
            const int y = (row - firstRow) * kPitch;
            FSurface.FillRect(x, y, kCellSize, kCellSize,
                              selection.contains(col, row) ? selected : kCellColor);
            if (FOnDrawCell && FOnDrawCell(FSurface, col, row, x, y))
                labels.emplace_back(CellRect(col, row), row * kColCount + col);
        }
    }

    // Shown through a vertical flip, without copying or converting its pixels.
    const uint8_t* used =
        FSurface.PBits() + ptrdiff_t(FSurface.Height() - height) * FSurface.WidthBytes();
    const QImage image(used, width, height, FSurface.WidthBytes(), QImage::Format_RGB32);
    const QPoint origin(firstCol * kPitch - sx, firstRow * kPitch - sy);
    painter.save();
    painter.translate(origin.x(), origin.y() + height);
    painter.scale(1, -1);
    painter.drawImage(0, 0, image);
    painter.restore();

    painter.setFont(FLabelFont);
    for (const auto& [rect, index] : labels)
        DrawLabel(painter, rect, index);

    if (hasFocus()) {
        const QRect focus = CellRect(FCol, FRow);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(focus.adjusted(0, 0, -1, -1));
    }
}

} // namespace velmora
