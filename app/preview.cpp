#include "app/preview.h"

#include "core/dib.h"
#include "core/png_picture.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velmora {

namespace {

QImage::Format FormatOf(const TDIB& dib, bool keepAlpha) {
    switch (dib.BitCount()) {
    case 8:
        return QImage::Format_Indexed8;
    case 16:
        return dib.PixelFormat().GreenBitCount == 5 ? QImage::Format_RGB555 : QImage::Format_RGB16;
    case 24:
        return QImage::Format_BGR888;
    case 32:
        return keepAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    default:
        return QImage::Format_Invalid;
    }
}

void MakeColorTransparent(QImage& image) {
    if (image.isNull())
        return;
    const QRgb key = image.pixel(0, image.height() - 1) & RGB_MASK;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & RGB_MASK) == key)
                line[x] = 0;
        }
    }
}

} // namespace

QImage DIBToImage(const TDIB& dib, bool keepAlpha) {
    if (dib.Empty())
        return {};
    const int w = dib.Width();
    const int h = dib.Height();
    const QImage::Format format = FormatOf(dib, keepAlpha);
    QImage image;
    if (format == QImage::Format_Invalid) {
        // 1- and 4-bit pictures: rare enough to go pixel by pixel.
        image = QImage(w, h, QImage::Format_ARGB32);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const TColor c = dib.PixelColor(x, y);
                image.setPixel(x, y, qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
            }
        }
        return image;
    }
    image = QImage(w, h, format);
    const size_t rowBytes =
        std::min<size_t>(size_t(image.bytesPerLine()), size_t(dib.WidthBytes()));
    for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(y), dib.ScanLine(y), rowBytes);
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> colors;
        for (const TRGBQuad& q : dib.ColorTable())
            colors << qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
        image.setColorTable(colors);
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage PictureToImage(const TPicture& picture, bool transparentDisplay, TDisplayRule rule) {
    QImage image;
    bool alpha = false;
    if (const TPngPicture* png = picture.AsPng()) {
        alpha = png->HasAlpha();
        const std::unique_ptr<TDIB> dib = alpha ? png->ToDIBWithAlpha() : png->ToDIB();
        if (dib)
            image = DIBToImage(*dib, alpha);
    } else if (const TDIB* dib = picture.AsDIB()) {
        image = DIBToImage(*dib, false);
    }
    if (rule == TDisplayRule::drGame && !alpha) {
        // The game's rule: without an alpha channel, black is the transparent colour.
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if ((line[x] & RGB_MASK) == 0)
                    line[x] = 0;
        }
    }
    if (transparentDisplay)
        MakeColorTransparent(image);
    return image;
}

void PaintBackground(QPainter& painter, const QRect& rect, TPreviewBackground background,
                     const QColor& color) {
    switch (background) {
    case TPreviewBackground::pbBlack:
        painter.fillRect(rect, Qt::black);
        return;
    case TPreviewBackground::pbWhite:
        painter.fillRect(rect, Qt::white);
        return;
    case TPreviewBackground::pbColor:
        painter.fillRect(rect, color);
        return;
    case TPreviewBackground::pbChecker:
        break;
    }
    constexpr int kSquare = 8;
    for (int y = rect.top() / kSquare * kSquare; y <= rect.bottom(); y += kSquare) {
        for (int x = rect.left() / kSquare * kSquare; x <= rect.right(); x += kSquare) {
            const bool light = ((x / kSquare) + (y / kSquare)) % 2 == 0;
            painter.fillRect(QRect(x, y, kSquare, kSquare).intersected(rect),
                             light ? QColor(255, 255, 255) : QColor(204, 204, 204));
        }
    }
}

TPreviewImage::TPreviewImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image"));
}

void TPreviewImage::SetImage(const QImage& image) {
    FImage = image;
    FTransparent = false;
    if (!FImage.isNull() && FImage.hasAlphaChannel()) {
        for (int y = 0; y < FImage.height() && !FTransparent; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(FImage.constScanLine(y));
            FTransparent =
                std::any_of(line, line + FImage.width(), [](QRgb p) { return qAlpha(p) != 255; });
        }
    }
    SetZoom(FZoom);
}

void TPreviewImage::SetZoom(double zoom) {
    FZoom = zoom;
    resize(FImage.isNull() ? QSize(0, 0)
                           : QSize(std::max(1, int(std::lround(FImage.width() * zoom))),
                                   std::max(1, int(std::lround(FImage.height() * zoom)))));
    update();
}

void TPreviewImage::SetBackground(TPreviewBackground background, const QColor& color) {
    FBackground = background;
    FColor = color;
    update();
}

void TPreviewImage::paintEvent(QPaintEvent* event) {
    if (FImage.isNull())
        return;
    QPainter painter(this);
    if (FTransparent)
        PaintBackground(painter, event->rect(), FBackground, FColor);
    // Nearest-neighbour at every zoom: pixels stay pixels.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), FImage);
}

namespace {

// Draws the anchor's cross-hair over the canvas; lets the mouse through.
class TAnchorOverlay : public QWidget {
public:
    TAnchorOverlay(QWidget* parent, const TPreviewArea& area) : QWidget(parent), FArea(area) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("AnchorOverlay"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!FArea.Anchor())
            return;
        const QPoint p = FArea.AnchorPosition();
        QPainter painter(this);
        painter.setPen(QPen(QColor(255, 0, 0, 200), 1));
        painter.drawLine(p.x() - 12, p.y(), p.x() + 12, p.y());
        painter.drawLine(p.x(), p.y() - 12, p.x(), p.y() + 12);
        painter.setPen(QPen(QColor(255, 255, 255, 200), 1));
        painter.drawEllipse(p, 3, 3);
    }

private:
    const TPreviewArea& FArea;
};

// The zoom steps of zoom in and out.
constexpr double kZoomSteps[] = {1, 2, 3, 4, 6, 8, 12, 16};

} // namespace

TPreviewArea::TPreviewArea(QWidget* parent)
    : QScrollArea(parent), FCanvas(new QWidget), FImage(new TPreviewImage(FCanvas)) {
    setObjectName(QStringLiteral("ScrollBox"));
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FImage->resize(0, 0);
    FOverlay = new TAnchorOverlay(FCanvas, *this);
    setWidget(FCanvas);
    for (QWidget* w : {static_cast<QWidget*>(FImage), viewport(), FCanvas})
        w->installEventFilter(this);
    Place();
}

void TPreviewArea::ShowImage(const QImage& image) {
    FDragShift = {};
    FImage->SetImage(image);
    if (FFit)
        FImage->SetZoom(FitZoom());
    Place();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

QPoint TPreviewArea::PictureOrigin() const {
    return FImage->pos();
}

void TPreviewArea::SetAnchor(std::optional<QPoint> offset) {
    FOffset = offset;
    FOverlay->update();
}

QPoint TPreviewArea::AnchorPosition() const {
    const QPoint base = FImage->pos() - FDragShift * Zoom();
    if (!FOffset)
        return base;
    return base -
           QPoint(int(std::lround(FOffset->x() * Zoom())), int(std::lround(FOffset->y() * Zoom())));
}

void TPreviewArea::SetBackground(TPreviewBackground background, const QColor& color) {
    FImage->SetBackground(background, color);
}

double TPreviewArea::FitZoom() const {
    const QImage& image = FImage->Image();
    if (image.isNull())
        return 1.0;
    const QSize area = maximumViewportSize();
    const double zoom =
        std::min(double(area.width()) / image.width(), double(area.height()) / image.height());
    // Whole factors when enlarging, so that every pixel is as large as the next.
    const double fitted = zoom >= 1 ? std::floor(zoom) : zoom;
    return std::clamp(fitted, kMinZoom, kMaxZoom);
}

void TPreviewArea::SetZoomKeepingFit(double zoom, bool fit) {
    FFit = fit;
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (zoom == Zoom()) {
        return;
    }
    FImage->SetZoom(zoom);
    Place();
    emit ZoomChanged(zoom);
}

void TPreviewArea::SetZoom(double zoom) {
    SetZoomKeepingFit(std::clamp(zoom, 1.0, kMaxZoom), false);
}

void TPreviewArea::ZoomIn() {
    for (double step : kZoomSteps)
        if (step > Zoom() + 1e-9)
            return SetZoom(step);
}

void TPreviewArea::ZoomOut() {
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
        if (*it < Zoom() - 1e-9)
            return SetZoom(*it);
}

void TPreviewArea::ZoomFit() {
    SetZoomKeepingFit(FitZoom(), true);
}

void TPreviewArea::SetDragShift(QPoint shift) {
    FDragShift = shift;
    Place();
}

bool TPreviewArea::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (wheel->angleDelta().y() > 0)
                ZoomIn();
            else if (wheel->angleDelta().y() < 0)
                ZoomOut();
            return true;
        }
        break;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::MiddleButton && !FImage->Image().isNull() && FOffset) {
            FDragging = true;
            FDragStart = mouse->globalPosition().toPoint();
            return true;
        }
        break;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (FDragging) {
            const QPoint moved = mouse->globalPosition().toPoint() - FDragStart;
            SetDragShift(
                QPoint(int(std::lround(moved.x() / Zoom())), int(std::lround(moved.y() / Zoom()))));
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (FDragging && mouse->button() == Qt::MiddleButton) {
            FDragging = false;
            const QPoint delta = FDragShift;
            if (delta != QPoint())
                emit OffsetDragged(delta);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QScrollArea::eventFilter(watched, event);
}

void TPreviewArea::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (FFit && !FImage->Image().isNull())
        FImage->SetZoom(FitZoom());
    Place();
}

void TPreviewArea::Place() {
    // The client area left once the scroll bars the picture needs are shown: a bar in one
    // direction takes room from the other.
    const QSize full = maximumViewportSize();
    const QSize picture = FImage->size();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    bool needH = picture.width() > full.width();
    bool needV = picture.height() > full.height() - (needH ? bar : 0);
    needH = picture.width() > full.width() - (needV ? bar : 0);
    const int width = full.width() - (needV ? bar : 0);
    const int height = full.height() - (needH ? bar : 0);
    // Centred where the picture fits, "(area - picture) div 2"; at the edge where it does not.
    const int left = width >= picture.width() ? (width - picture.width()) / 2 : 0;
    const int top = height >= picture.height() ? (height - picture.height()) / 2 : 0;
    FCanvas->resize(std::max(width, picture.width()), std::max(height, picture.height()));
    FImage->move(QPoint(left, top) + FDragShift * Zoom());
    FOverlay->resize(FCanvas->size());
    FOverlay->raise();
    FOverlay->update();
}

} // namespace velmora
