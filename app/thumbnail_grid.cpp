#include "app/thumbnail_grid.h"

#include "app/status_texts.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace velmora {

namespace {

const QColor kLineColor(192, 192, 192);

} // namespace

TDrawGrid::TDrawGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("DrawGrid"));
    setFocusPolicy(Qt::StrongFocus);
    // Columns follow the width, so there is never anything to scroll sideways; the vertical bar
    // stays so that its coming and going cannot change the column count.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    FLabelFont = font();
    UpdateScrollBars();
}

void TDrawGrid::SetLabelFont(const QFont& font) {
    FLabelFont = font;
    viewport()->update();
}

void TDrawGrid::SetImageCount(int count) {
    FImageCount = std::max(0, count);
    UpdateLayout();
    viewport()->update();
}

void TDrawGrid::SetCellSize(int size) {
    size = std::clamp(size, kMinCellSize, kMaxCellSize);
    if (size == FCellSize)
        return;
    FCellSize = size;
    UpdateLayout();
    if (FFocus >= 0)
        ScrollToIndex(FFocus);
    viewport()->update();
}

void TDrawGrid::UpdateLayout() {
    // Before the grid is first laid out its width says nothing: the default layout stands.
    const int cols = testAttribute(Qt::WA_PendingResizeEvent) || viewport()->width() <= 1
                         ? FCols
                         : std::max(1, viewport()->width() / Pitch());
    const bool changed = cols != FCols;
    FCols = cols;
    FRowCount = FImageCount / FCols + 1;
    // A selection past the last image names nothing.
    if (FFocus >= FImageCount)
        FFocus = FAnchor = -1;
    FAnchor = std::min(FAnchor, FImageCount - 1);
    UpdateScrollBars();
    if (changed) {
        if (FFocus >= 0)
            ScrollToIndex(FFocus);
        emit ColumnsChanged(FCols);
    }
}

std::pair<int, int> TDrawGrid::SelectedRange() const {
    if (FFocus < 0)
        return {-1, -1};
    const int anchor = FAnchor < 0 ? FFocus : FAnchor;
    return {std::min(FFocus, anchor), std::max(FFocus, anchor)};
}

void TDrawGrid::SetSelection(int anchor, int current) {
    if (current < 0 || current >= FImageCount) {
        FFocus = FAnchor = -1;
    } else {
        FFocus = current;
        FAnchor = std::clamp(anchor < 0 ? current : anchor, 0, FImageCount - 1);
        ScrollToIndex(FFocus);
    }
    viewport()->update();
}

void TDrawGrid::SetSelectedImages(std::vector<int> images) {
    std::sort(images.begin(), images.end());
    if (images == FImages)
        return;
    FImages = std::move(images);
    viewport()->update();
}

bool TDrawGrid::IsShownSelected(int index) const {
    const auto [first, last] = SelectedRange();
    return (first >= 0 && index >= first && index <= last) ||
           std::binary_search(FImages.begin(), FImages.end(), index);
}

void TDrawGrid::Request(int anchor, int current) {
    SetSelection(anchor, current);
    emit SelectionRequested(FAnchor, FFocus);
}

void TDrawGrid::SelectRange(int first, int last) {
    if (first < 0 || last < 0 || first >= FImageCount || last >= FImageCount)
        return;
    Request(first, last);
}

int TDrawGrid::TopRow() const {
    return verticalScrollBar()->value() / Pitch();
}

std::pair<int, int> TDrawGrid::VisibleRange() const {
    const int top = TopRow();
    const int bottom = (verticalScrollBar()->value() + viewport()->height()) / Pitch();
    return {top * FCols, (bottom + 1) * FCols - 1};
}

void TDrawGrid::FocusCell(int col, int row) {
    if (col < 0 || col >= FCols || row < 0 || row * FCols + col >= FImageCount)
        return;
    Request(row * FCols + col, row * FCols + col);
}

void TDrawGrid::UpdateIndex(int index) {
    const QRect rect = CellRect(index % FCols, index / FCols);
    if (rect.intersects(viewport()->rect()))
        viewport()->update(rect);
}

QPoint TDrawGrid::CellAt(const QPoint& pos) const {
    const int y = pos.y() + verticalScrollBar()->value();
    if (pos.x() < 0 || y < 0)
        return {-1, -1};
    const int col = pos.x() / Pitch();
    const int row = y / Pitch();
    if (col >= FCols || row >= FRowCount)
        return {-1, -1};
    return {col, row};
}

QRect TDrawGrid::CellRect(int col, int row) const {
    return QRect(col * Pitch(), row * Pitch() - verticalScrollBar()->value(), FCellSize, FCellSize);
}

void TDrawGrid::UpdateScrollBars() {
    const QSize view = viewport()->size();
    const int contentHeight = FRowCount * Pitch();
    verticalScrollBar()->setRange(0, std::max(0, contentHeight - view.height()));
    verticalScrollBar()->setPageStep(std::max(1, view.height()));
    verticalScrollBar()->setSingleStep(std::max(1, Pitch() / 4));
}

void TDrawGrid::ScrollToIndex(int index) {
    const QSize view = viewport()->size();
    QScrollBar* v = verticalScrollBar();
    const int top = index / FCols * Pitch();
    if (top < v->value())
        v->setValue(top);
    else if (top + FCellSize > v->value() + view.height())
        v->setValue(top + FCellSize - view.height());
}

void TDrawGrid::MoveFocus(int index, bool extend) {
    // Keys move over the images only.
    if (FImageCount <= 0)
        return;
    index = std::clamp(index, 0, FImageCount - 1);
    Request(extend && FAnchor >= 0 ? FAnchor : index, index);
}

void TDrawGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateLayout();
}

void TDrawGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const QPoint cell = CellAt(event->position().toPoint());
    const int index = cell.y() * FCols + cell.x();
    // A cell without an image takes no selection.
    if (cell.x() < 0 || index >= FImageCount)
        return;
    const bool extend = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    FPressed = -1;
    if (!extend && IsShownSelected(index)) {
        // Perhaps the start of a drag: the selection stays until the button is let go.
        FPressed = index;
        FPressedAt = event->position().toPoint();
        return;
    }
    Request(extend && FAnchor >= 0 ? FAnchor : index, index);
}

void TDrawGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && FPressed >= 0 && FPressed < FImageCount)
        Request(FPressed, FPressed);
    FPressed = -1;
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void TDrawGrid::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if (FPressed >= 0) {
        if ((event->position().toPoint() - FPressedAt).manhattanLength() >=
            QApplication::startDragDistance()) {
            FPressed = -1;
            emit DragRequested();
        }
        return;
    }
    const QPoint cell = CellAt(event->position().toPoint());
    if (cell.x() < 0 || FFocus < 0 || FImageCount <= 0)
        return;
    const int index = std::min(cell.y() * FCols + cell.x(), FImageCount - 1);
    if (index == FFocus)
        return;
    Request(FAnchor, index);
}

void TDrawGrid::keyPressEvent(QKeyEvent* event) {
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    // Alt + arrows belong to the preview (they move the image's offset).
    if (event->modifiers() & Qt::AltModifier)
        return QAbstractScrollArea::keyPressEvent(event);
    const int pageRows = std::max(1, viewport()->height() / Pitch());
    const int focus = std::max(FFocus, 0);
    const int rowStart = focus / FCols * FCols;
    switch (event->key()) {
    case Qt::Key_Left:
        return MoveFocus(focus - 1, extend);
    case Qt::Key_Right:
        return MoveFocus(FFocus < 0 ? 0 : focus + 1, extend);
    case Qt::Key_Up:
        return MoveFocus(focus >= FCols ? focus - FCols : focus, extend);
    case Qt::Key_Down:
        return MoveFocus(FFocus < 0                    ? 0
                         : focus + FCols < FImageCount ? focus + FCols
                                                       : FImageCount - 1,
                         extend);
    case Qt::Key_PageUp:
        return MoveFocus(std::max(focus % FCols, focus - pageRows * FCols), extend);
    case Qt::Key_PageDown:
        return MoveFocus(focus + pageRows * FCols, extend);
    case Qt::Key_Home:
        return MoveFocus(ctrl ? 0 : rowStart, extend);
    case Qt::Key_End:
        return MoveFocus(ctrl ? FImageCount - 1 : rowStart + FCols - 1, extend);
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void TDrawGrid::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        const int steps = event->angleDelta().y() / 120;
        if (steps != 0)
            emit CellSizeRequested(std::clamp(FCellSize + steps * 8, kMinCellSize, kMaxCellSize));
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
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
    const int bottom = cell.top() + FCellSize;
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
    painter.fillRect(dirty, kLineColor);

    const int sy = verticalScrollBar()->value();
    const int pitch = Pitch();
    const int firstCol = std::max(0, dirty.left() / pitch);
    const int lastCol = std::min(FCols - 1, dirty.right() / pitch);
    const int firstRow = std::max(0, (dirty.top() + sy) / pitch);
    const int lastRow = std::min(FRowCount - 1, (dirty.bottom() + sy) / pitch);
    // Right of the last column lies no cell.
    const int cellsRight = FCols * pitch;
    if (dirty.right() >= cellsRight)
        painter.fillRect(
            QRect(cellsRight, dirty.top(), dirty.right() - cellsRight + 1, dirty.height()),
            palette().color(QPalette::Base));
    if (firstCol > lastCol || firstRow > lastRow)
        return;

    const auto [selFirst, selLast] = SelectedRange();
    const QColor selected = palette().color(QPalette::Highlight);
    painter.setFont(FLabelFont);
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int col = firstCol; col <= lastCol; ++col) {
            const int index = row * FCols + col;
            const QRect cell = CellRect(col, row);
            const bool inSelection = (index >= selFirst && index <= selLast) ||
                                     std::binary_search(FImages.begin(), FImages.end(), index);
            painter.fillRect(cell, inSelection ? selected : Qt::white);
            const TCellView view = FOnCell ? FOnCell(index, FCellSize) : TCellView{};
            if (!view.Thumbnail.isNull())
                painter.drawImage(cell.topLeft(), view.Thumbnail);
            if (view.Damaged) {
                painter.fillRect(cell, QBrush(QColor(220, 0, 0, 110), Qt::BDiagPattern));
                const int corner = std::max(10, FCellSize / 5);
                const QPoint tr = cell.topRight() + QPoint(1, 0);
                const QPoint triangle[] = {tr, tr - QPoint(corner, 0), tr + QPoint(0, corner)};
                painter.setPen(Qt::NoPen);
                painter.setBrush(QColor(220, 0, 0));
                painter.drawPolygon(triangle, 3);
                painter.setBrush(Qt::NoBrush);
            }
            if (view.Image)
                DrawLabel(painter, cell, index);
        }
    }

    if (hasFocus() && FFocus >= 0) {
        const QRect focus = CellRect(Col(), Row());
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(focus.adjusted(0, 0, -1, -1));
    }
}

} // namespace velmora
