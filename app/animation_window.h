#pragma once

#include "app/preview.h"

#include <QImage>
#include <QPoint>
#include <QRect>

#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace velmora {

// The frames of an animation drawn at their offsets around one fixed anchor, as the game draws
// them, with the previous frame faintly under the current one when asked (onion skin).
class TAnimationCanvas : public QWidget {
    Q_OBJECT
public:
    struct TFrame {
        QImage Image;
        QPoint Offset;
    };

    explicit TAnimationCanvas(QWidget* parent = nullptr);
    // The frames; the view keeps the box that holds every one of them.
    void SetFrames(std::vector<TFrame> frames);
    void SetCurrent(int frame);
    void SetOnionSkin(bool on);
    void SetBackground(TPreviewBackground background, const QColor& color);
    int FrameCount() const { return int(FFrames.size()); }
    int Current() const { return FCurrent; }
    // Where the anchor lies on the canvas.
    QPoint AnchorPosition() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<TFrame> FFrames;
    QRect FBounds; // every frame's rectangle around the anchor (0, 0)
    int FCurrent = 0;
    bool FOnionSkin = false;
    TPreviewBackground FBackground = TPreviewBackground::pbChecker;
    QColor FColor = Qt::gray;
};

class TLibraryDocument;

// 动画预览: plays images From .. From + Count - 1 of a document at 1-60 frames per second,
// looping, with play/pause and single steps. It follows the document: an edit, an undo or a
// reading anew shows the frames the library holds now.
class TFrmAnimation : public QWidget {
    Q_OBJECT
public:
    explicit TFrmAnimation(QWidget* parent = nullptr);

    // The document whose images are played (null: none; the window then shows nothing).
    void SetDocument(TLibraryDocument* document);
    // Loads the range from the document, shows the window beside the main window the first time
    // and starts playing.
    void ShowRange(int from, int count);
    // Reads the frames of the range in the spin boxes again.
    void Reload();
    void Play();
    void Pause();
    void Step(int frames);
    bool Playing() const;
    void SetBackground(TPreviewBackground background, const QColor& color);

    TAnimationCanvas* Canvas() const { return FCanvas; }
    QSpinBox* EditFrom() const { return FEditFrom; }
    QSpinBox* EditCount() const { return FEditCount; }
    QSpinBox* EditFps() const { return FEditFps; }
    QCheckBox* CheckLoop() const { return FCheckLoop; }
    QCheckBox* CheckOnion() const { return FCheckOnion; }

private:
    void Tick();
    void ShowFrameText();

    TLibraryDocument* FDocument = nullptr;
    bool FPlaced = false;
    TAnimationCanvas* FCanvas;
    QSpinBox* FEditFrom;
    QSpinBox* FEditCount;
    QSpinBox* FEditFps;
    QCheckBox* FCheckLoop;
    QCheckBox* FCheckOnion;
    QPushButton* FButtonPlay;
    QLabel* FFrameLabel;
    QTimer* FTimer;
};

} // namespace velmora
