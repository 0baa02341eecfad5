#pragma once

#include "core/picture.h"

#include <QImage>
#include <QScrollArea>
#include <QWidget>

#include <cstdint>
#include <optional>

namespace velmora {

class TDIB;

// How a picture is shown: as the game draws it (a picture with an alpha channel by its alpha, any
// other with black transparent), or as it is stored (every pixel opaque, alpha kept).
enum class TDisplayRule : uint8_t { drGame, drStored };

// A picture as a top-down ARGB32 image: 8-bit pictures through their colour table, 16-bit through
// their 5-6-5 or 5-5-5 layout, PNG pictures with an alpha channel keep it; shown by rule. With
// transparentDisplay every pixel of the colour of the bottom-left pixel becomes fully transparent
// as well.
QImage PictureToImage(const TPicture& picture, bool transparentDisplay,
                      TDisplayRule rule = TDisplayRule::drGame);
// The same for a pixel buffer; 32-bit buffers keep their top bytes as alpha only when keepAlpha.
QImage DIBToImage(const TDIB& dib, bool keepAlpha);

// What the preview shows behind transparent pixels.
enum class TPreviewBackground : uint8_t { pbChecker, pbBlack, pbWhite, pbColor };

// The preview picture ("Image"): shows one image at a zoom factor, nearest-neighbour, over the
// chosen background where it is transparent.
class TPreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewImage(QWidget* parent = nullptr);

    void SetImage(const QImage& image);
    void Clear() { SetImage(QImage()); }
    // The image at its natural size.
    const QImage& Image() const { return FImage; }
    void SetZoom(double zoom);
    double Zoom() const { return FZoom; }
    void SetBackground(TPreviewBackground background, const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FImage;
    bool FTransparent = false;
    double FZoom = 1.0;
    TPreviewBackground FBackground = TPreviewBackground::pbChecker;
    QColor FColor = Qt::gray;
};

// Paints a background: a checkerboard, or one colour.
void PaintBackground(QPainter& painter, const QRect& rect, TPreviewBackground background,
                     const QColor& color);

// The scrolling preview area ("ScrollBox"). The picture is centred in each direction in which the
// area is at least as large as the picture, and sits at the top or left edge in a direction in
// which it is larger, where the area scrolls. A cross-hair marks the image's anchor, the point
// its offset is counted from; dragging the picture with the middle mouse button moves the image
// against the anchor and reports the move (in image pixels) when the button is let go.
class TPreviewArea : public QScrollArea {
    Q_OBJECT
public:
    static constexpr double kMinZoom = 1.0 / 16;
    static constexpr double kMaxZoom = 16.0;

    explicit TPreviewArea(QWidget* parent = nullptr);

    TPreviewImage* Picture() const { return FImage; }
    // Shows an image (a null image empties the preview) and scrolls to the top-left corner. In
    // fit mode the zoom is chosen anew for the image.
    void ShowImage(const QImage& image);
    // Where the picture sits inside the area's client rectangle.
    QPoint PictureOrigin() const;

    // The offset of the image shown, which places its anchor; none hides the cross-hair.
    void SetAnchor(std::optional<QPoint> offset);
    std::optional<QPoint> Anchor() const { return FOffset; }
    // The anchor's position on the canvas (the widget the picture sits on).
    QPoint AnchorPosition() const;
    QWidget* Canvas() const { return FCanvas; }

    // Zoom: 1..16 times nearest-neighbour, smaller only to fit.
    double Zoom() const { return FImage->Zoom(); }
    void SetZoom(double zoom);
    void ZoomIn();
    void ZoomOut();
    void ZoomFit();
    bool FitMode() const { return FFit; }

    void SetBackground(TPreviewBackground background, const QColor& color);

    // Moves the image shown by (dx, dy) image pixels against its anchor, as a drag does, without
    // reporting it; (0, 0) puts it back.
    void SetDragShift(QPoint shift);

signals:
    void ZoomChanged(double zoom);
    // A middle-button drag ended having moved the image by delta image pixels.
    void OffsetDragged(QPoint delta);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();
    void SetZoomKeepingFit(double zoom, bool fit);
    double FitZoom() const;

    QWidget* FCanvas;
    TPreviewImage* FImage;
    QWidget* FOverlay;
    std::optional<QPoint> FOffset;
    bool FFit = false;
    bool FDragging = false;
    QPoint FDragStart;
    QPoint FDragShift;
};

} // namespace velmora
