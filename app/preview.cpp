#include "app/preview.h"

#include "core/dib.h"
#include "core/png_picture.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
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

QImage PictureToImage(const TPicture& picture, bool transparentDisplay) {
    QImage image;
    if (const TPngPicture* png = picture.AsPng()) {
        const std::unique_ptr<TDIB> dib = png->HasAlpha() ? png->ToDIBWithAlpha() : png->ToDIB();
        if (dib)
            image = DIBToImage(*dib, png->HasAlpha());
    } else if (const TDIB* dib = picture.AsDIB()) {
        image = DIBToImage(*dib, false);
    }
    if (transparentDisplay)
        MakeColorTransparent(image);
    return image;
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
    resize(FImage.size());
    update();
}

void TPreviewImage::paintEvent(QPaintEvent* event) {
    if (FImage.isNull())
        return;
    QPainter painter(this);
    if (FTransparent) {
        constexpr int kSquare = 8;
        const QRect dirty = event->rect();
        for (int y = dirty.top() / kSquare * kSquare; y <= dirty.bottom(); y += kSquare) {
            for (int x = dirty.left() / kSquare * kSquare; x <= dirty.right(); x += kSquare) {
                const bool light = ((x / kSquare) + (y / kSquare)) % 2 == 0;
                painter.fillRect(x, y, kSquare, kSquare,
                                 light ? QColor(255, 255, 255) : QColor(204, 204, 204));
            }
        }
    }
    painter.drawImage(0, 0, FImage);
}

TPreviewArea::TPreviewArea(QWidget* parent)
    : QScrollArea(parent), FCanvas(new QWidget), FImage(new TPreviewImage(FCanvas)) {
    setObjectName(QStringLiteral("ScrollBox"));
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FImage->resize(0, 0);
    setWidget(FCanvas);
    Place();
}

void TPreviewArea::ShowImage(const QImage& image) {
    FImage->SetImage(image);
    Place();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

QPoint TPreviewArea::PictureOrigin() const {
    return FImage->pos();
}

void TPreviewArea::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
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
    FImage->move(left, top);
}

} // namespace velmora
