#pragma once

#include "core/picture.h"

#include <QImage>
#include <QScrollArea>
#include <QWidget>

namespace velmora {

class TDIB;

// A picture as a top-down ARGB32 image: 8-bit pictures through their colour table, 16-bit through
// their 5-6-5 or 5-5-5 layout, PNG pictures with an alpha channel keep it. With transparentDisplay
// every pixel of the colour of the bottom-left pixel becomes fully transparent.
QImage PictureToImage(const TPicture& picture, bool transparentDisplay);
// The same for a pixel buffer; 32-bit buffers keep their top bytes as alpha only when keepAlpha.
QImage DIBToImage(const TDIB& dib, bool keepAlpha);

// The preview picture ("Image"): shows one image at its natural size, over a checkerboard where it
// is transparent so that transparency can be seen.
class TPreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewImage(QWidget* parent = nullptr);

    void SetImage(const QImage& image);
    void Clear() { SetImage(QImage()); }
    const QImage& Image() const { return FImage; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FImage;
    bool FTransparent = false;
};

// The scrolling preview area ("ScrollBox"). The picture is centred in each direction in which the
// area is at least as large as the picture, and sits at the top or left edge in a direction in
// which it is larger, where the area scrolls.
class TPreviewArea : public QScrollArea {
    Q_OBJECT
public:
    explicit TPreviewArea(QWidget* parent = nullptr);

    TPreviewImage* Picture() const { return FImage; }
    // Shows an image (a null image empties the preview) and scrolls to the top-left corner.
    void ShowImage(const QImage& image);
    // Where the picture sits inside the area's client rectangle.
    QPoint PictureOrigin() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Place();

    QWidget* FCanvas;
    TPreviewImage* FImage;
};

} // namespace velmora
