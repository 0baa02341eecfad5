#include "app/animation_window.h"

#include "app/library_document.h"
#include "app/status_texts.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace velmora {

namespace {

// More frames than this are not loaded at once: an animation is a few dozen images.
constexpr int kMaxFrames = 1000;
constexpr int kMargin = 16;

} // namespace

TAnimationCanvas::TAnimationCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("AnimationCanvas"));
    setMinimumSize(160, 160);
}

void TAnimationCanvas::SetFrames(std::vector<TFrame> frames) {
    FFrames = std::move(frames);
    FBounds = QRect(0, 0, 1, 1);
    for (const TFrame& f : FFrames)
        FBounds = FBounds.united(QRect(f.Offset, f.Image.size()));
    FCurrent = 0;
    updateGeometry();
    update();
}

void TAnimationCanvas::SetCurrent(int frame) {
    FCurrent = FFrames.empty() ? 0 : std::clamp(frame, 0, int(FFrames.size()) - 1);
    update();
}

void TAnimationCanvas::SetOnionSkin(bool on) {
    FOnionSkin = on;
    update();
}

void TAnimationCanvas::SetBackground(TPreviewBackground background, const QColor& color) {
    FBackground = background;
    FColor = color;
    update();
}

QSize TAnimationCanvas::sizeHint() const {
    return (FBounds.size() + QSize(2 * kMargin, 2 * kMargin)).boundedTo(QSize(900, 700));
}

QPoint TAnimationCanvas::AnchorPosition() const {
    // The box of all frames is centred; the anchor keeps its place in it for every frame.
    const QPoint boxOrigin((width() - FBounds.width()) / 2, (height() - FBounds.height()) / 2);
    return boxOrigin - FBounds.topLeft();
}

void TAnimationCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    PaintBackground(painter, event->rect(), FBackground, FColor);
    if (FFrames.empty())
        return;
    const QPoint anchor = AnchorPosition();
    if (FOnionSkin && FFrames.size() > 1) {
        const int previous = (FCurrent + int(FFrames.size()) - 1) % int(FFrames.size());
        painter.setOpacity(0.35);
        painter.drawImage(anchor + FFrames[size_t(previous)].Offset,
                          FFrames[size_t(previous)].Image);
        painter.setOpacity(1.0);
    }
    const TFrame& frame = FFrames[size_t(FCurrent)];
    painter.drawImage(anchor + frame.Offset, frame.Image);
    painter.setPen(QPen(QColor(255, 0, 0, 180), 1));
    painter.drawLine(anchor - QPoint(8, 0), anchor + QPoint(8, 0));
    painter.drawLine(anchor - QPoint(0, 8), anchor + QPoint(0, 8));
}

TFrmAnimation::TFrmAnimation(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setObjectName(QStringLiteral("TFrmAnimation"));
    setWindowTitle(tr("动画预览"));
    auto* layout = new QVBoxLayout(this);
    FCanvas = new TAnimationCanvas(this);
    layout->addWidget(FCanvas, 1);

    auto* range = new QHBoxLayout();
    const auto spin = [this](const char* name, int min, int max, int value) {
        auto* box = new QSpinBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setRange(min, max);
        box->setValue(value);
        return box;
    };
    FEditFrom = spin("EditFrom", 0, 9999999, 0);
    FEditCount = spin("EditCount", 1, kMaxFrames, 8);
    FEditFps = spin("EditFps", 1, 60, 10);
    range->addWidget(new QLabel(tr("起始:"), this));
    range->addWidget(FEditFrom);
    range->addWidget(new QLabel(tr("张数:"), this));
    range->addWidget(FEditCount);
    range->addWidget(new QLabel(tr("帧/秒:"), this));
    range->addWidget(FEditFps);
    layout->addLayout(range);

    auto* controls = new QHBoxLayout();
    auto* previous = new QPushButton(tr("上一帧"), this);
    FButtonPlay = new QPushButton(tr("暂停"), this);
    FButtonPlay->setObjectName(QStringLiteral("ButtonPlay"));
    auto* next = new QPushButton(tr("下一帧"), this);
    FCheckLoop = new QCheckBox(tr("循环"), this);
    FCheckLoop->setChecked(true);
    FCheckOnion = new QCheckBox(tr("显示上一帧"), this);
    FFrameLabel = new QLabel(this);
    FFrameLabel->setObjectName(QStringLiteral("LabelFrame"));
    for (QWidget* w : {static_cast<QWidget*>(previous), static_cast<QWidget*>(FButtonPlay),
                       static_cast<QWidget*>(next), static_cast<QWidget*>(FCheckLoop),
                       static_cast<QWidget*>(FCheckOnion)})
        controls->addWidget(w);
    controls->addStretch(1);
    controls->addWidget(FFrameLabel);
    layout->addLayout(controls);

    FTimer = new QTimer(this);
    connect(FTimer, &QTimer::timeout, this, [this] { Tick(); });
    connect(previous, &QPushButton::clicked, this, [this] { Step(-1); });
    connect(next, &QPushButton::clicked, this, [this] { Step(1); });
    connect(FButtonPlay, &QPushButton::clicked, this, [this] { Playing() ? Pause() : Play(); });
    connect(FEditFps, &QSpinBox::valueChanged, this,
            [this](int fps) { FTimer->setInterval(1000 / std::max(1, fps)); });
    connect(FCheckOnion, &QCheckBox::toggled, FCanvas, &TAnimationCanvas::SetOnionSkin);
    for (QSpinBox* box : {FEditFrom, FEditCount})
        connect(box, &QSpinBox::editingFinished, this, [this] { Reload(); });
    FTimer->setInterval(1000 / FEditFps->value());
}

void TFrmAnimation::SetBackground(TPreviewBackground background, const QColor& color) {
    FCanvas->SetBackground(background, color);
}

void TFrmAnimation::SetDocument(TLibraryDocument* document) {
    FDocument = document;
    if (!FDocument)
        Pause();
    if (!FDocument || isVisible())
        Reload();
}

void TFrmAnimation::ShowRange(int from, int count) {
    FEditFrom->setValue(from);
    FEditCount->setValue(std::clamp(count, 1, kMaxFrames));
    Reload();
    adjustSize();
    if (!FPlaced && parentWidget()) {
        // Over the right half of the main window, where the preview is, and wholly on its screen.
        const QRect main = parentWidget()->window()->frameGeometry();
        QPoint at(main.right() - width() - 24, main.top() + 80);
        if (const QScreen* screen = parentWidget()->screen()) {
            const QRect room = screen->availableGeometry();
            at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - width())));
            at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - height())));
        }
        move(at);
        FPlaced = true;
    }
    show();
    raise();
    Play();
}

void TFrmAnimation::Reload() {
    std::vector<TAnimationCanvas::TFrame> frames;
    if (FDocument) {
        TGameImages& library = FDocument->Library();
        const int count = library.ImageCount();
        const int first = std::min(FEditFrom->value(), std::max(0, count - 1));
        const int last = std::min(count - 1, first + FEditCount->value() - 1);
        for (int i = first; i <= last; ++i) {
            int x = 0;
            int y = 0;
            std::unique_ptr<TPicture> picture;
            try {
                picture = library.Get(i, x, y);
            } catch (...) {
            }
            // An empty or unreadable image is a frame that shows nothing.
            frames.push_back({picture ? PictureToImage(*picture, false) : QImage(), QPoint(x, y)});
        }
    }
    FCanvas->SetFrames(std::move(frames));
    ShowFrameText();
}

bool TFrmAnimation::Playing() const {
    return FTimer->isActive();
}

void TFrmAnimation::Play() {
    if (FCanvas->FrameCount() == 0)
        return;
    FTimer->start();
    FButtonPlay->setText(tr("暂停"));
}

void TFrmAnimation::Pause() {
    FTimer->stop();
    FButtonPlay->setText(tr("播放"));
}

void TFrmAnimation::Step(int frames) {
    Pause();
    const int n = FCanvas->FrameCount();
    if (n > 0)
        FCanvas->SetCurrent(((FCanvas->Current() + frames) % n + n) % n);
    ShowFrameText();
}

void TFrmAnimation::Tick() {
    const int n = FCanvas->FrameCount();
    if (n == 0)
        return Pause();
    int next = FCanvas->Current() + 1;
    if (next >= n) {
        if (!FCheckLoop->isChecked())
            return Pause();
        next = 0;
    }
    FCanvas->SetCurrent(next);
    ShowFrameText();
}

void TFrmAnimation::ShowFrameText() {
    const int n = FCanvas->FrameCount();
    FFrameLabel->setText(n == 0 ? QString()
                                : QStringLiteral("%1 (%2/%3)")
                                      .arg(CellNumberText(FEditFrom->value() + FCanvas->Current()))
                                      .arg(FCanvas->Current() + 1)
                                      .arg(n));
}

} // namespace velmora
