// The whole window on a generated library with an image selected: every part is painted. With
// VELMORA_SCREENSHOT set (scripts/screenshot) the window is also written to that PNG file.
#include "gui_support.h"

#include "app/animation_window.h"
#include "app/thumbnail_cache.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>

#include "app/fonts.h"
#include "app/thumbnail_grid.h"

#include <QLinearGradient>
#include <QFileSystemModel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QToolButton>
#include <QTreeView>

#include <cmath>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

// A sprite drawn with antialiasing on a transparent background: an orb, a gem or a star.
QImage DrawSprite(int index) {
    const int w = 36 + (index * 37) % 90;
    const int h = 36 + (index * 53) % 80;
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor base = QColor::fromHsv((index * 47) % 360, 170 + index % 80, 230);
    const QRectF box(2, 2, w - 4, h - 4);
    switch (index % 3) {
    case 0: {
        QRadialGradient g(box.center() - QPointF(w / 6.0, h / 6.0), std::max(w, h) / 1.6);
        g.setColorAt(0, base.lighter(170));
        g.setColorAt(1, base.darker(160));
        p.setBrush(g);
        p.setPen(QPen(base.darker(220), 1.5));
        p.drawEllipse(box);
        break;
    }
    case 1: {
        QPainterPath gem;
        gem.moveTo(box.center().x(), box.top());
        gem.lineTo(box.right(), box.top() + box.height() * 0.35);
        gem.lineTo(box.center().x(), box.bottom());
        gem.lineTo(box.left(), box.top() + box.height() * 0.35);
        gem.closeSubpath();
        QLinearGradient g(box.topLeft(), box.bottomRight());
        g.setColorAt(0, base.lighter(160));
        g.setColorAt(1, base.darker(170));
        p.setBrush(g);
        p.setPen(QPen(base.darker(230), 1.5));
        p.drawPath(gem);
        break;
    }
    default: {
        QPainterPath star;
        for (int i = 0; i < 10; ++i) {
            const double r = (i % 2 ? 0.42 : 1.0) * std::min(box.width(), box.height()) / 2;
            const double a = -M_PI / 2 + i * M_PI / 5;
            const QPointF pt = box.center() + QPointF(r * std::cos(a), r * std::sin(a));
            i == 0 ? star.moveTo(pt) : star.lineTo(pt);
        }
        star.closeSubpath();
        p.setBrush(base);
        p.setPen(QPen(base.darker(200), 1.5));
        p.drawPath(star);
    }
    }
    return image;
}

// Writes a Pak library of 16-bit, zlib-compressed sprites with alpha planes.
bool MakeShowcaseLibrary(const std::string& path, int count) {
    {
        TQuillrand creator(path);
        if (!creator.CreateFile(16, kDefaultPakPassword))
            return false;
    }
    TQuillrand library(path);
    if (!TryPakPassword(library, kDefaultPakPassword))
        return false;
    library.Initialize();
    auto update = library.BeginUpdate(-1);
    for (int i = 0; i < count; ++i) {
        const QImage sprite = DrawSprite(i);
        TDIB colour;
        colour.SetPixelFormat(MakePixelFormat(8, 8, 8));
        colour.SetSize(sprite.width(), sprite.height(), 24);
        std::unique_ptr<TDIB> alpha = test::MakeAlphaDIB(sprite.width(), sprite.height(), 1);
        for (int y = 0; y < sprite.height(); ++y) {
            for (int x = 0; x < sprite.width(); ++x) {
                const QRgb px = sprite.pixel(x, y);
                const bool seen = qAlpha(px) > 0;
                colour.SetPixel(
                    x, y,
                    seen ? RGBColor(uint8_t(qRed(px)), uint8_t(qGreen(px)), uint8_t(qBlue(px)))
                         : 0);
                alpha->SetPixel(x, y, uint32_t(qAlpha(px)));
            }
        }
        colour.SetPixelFormat(MakePixelFormat(5, 6, 5));
        colour.SetBitCount(16);
        if (!update.Add(colour, -sprite.width() / 2, -sprite.height(), 1, alpha.get()))
            return false;
    }
    update.EndUpdate();
    return true;
}

} // namespace

class TScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void wholeWindowIsPainted() {
        TEditorHome home;
        QApplication::setFont(InterfaceFont());
        const std::string dir = home.Folder("Data");
        for (const char* folder : {"Map", "Sound", "Wav"})
            home.Folder(folder);
        QVERIFY(MakeShowcaseLibrary(dir + "Items.Pak", 137));
        QVERIFY(MakeLibrary(t_Wil, dir + "Hum.wil", Sprites(3)));
        QVERIFY(MakeLibrary(t_Wzl, dir + "Effect.wzl", Sprites(3)));
        WriteText(home.File("Pak.txt"), "Items.Pak|quillrand\r\n");
        WriteText(home.File("Config.ini"), dir + "Items.Pak\r\n");

        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QTRY_COMPARE(g_CurrentDir, dir); // the start timer shows the last folder
        // The folder tree shows the game's folders only, not the rest of the machine.
        auto* tree = main.findChild<QTreeView*>("ShellTreeView");
        auto* folders = static_cast<QFileSystemModel*>(tree->model());
        tree->setRootIndex(folders->index(QString::fromStdString(home.Path())));
        main.OpenSelectedFile();
        QVERIFY(g_Images);
        main.DrawGrid()->FocusCell(4, 1);
        main.DrawGrid()->setFocus();
        QTest::qWait(50);
        main.Thumbnails()->WaitUntilIdle();
        QTest::qWait(150);

        const QImage window = main.grab().toImage();
        QCOMPARE(main.StatusText(2), QString("15/137"));
        QVERIFY(main.StatusText(4).contains(QStringLiteral("16位色 压缩:TRUE")));
        // Thumbnails coloured, the preview showing the selection over its checkerboard.
        const QImage grid = main.DrawGrid()->viewport()->grab().toImage();
        int coloured = 0;
        for (int y = 0; y < grid.height(); y += 3)
            for (int x = 0; x < grid.width(); x += 3)
                coloured += QColor(grid.pixel(x, y)).hsvSaturation() > 100;
        QVERIFY(coloured > 500);
        QVERIFY(!main.PreviewArea()->Picture()->size().isEmpty());

        const QString out = QString::fromLocal8Bit(qgetenv("VELMORA_SCREENSHOT"));
        if (!out.isEmpty())
            QVERIFY(window.save(out, "PNG"));

        // The preview zoomed three times, then the animation preview playing a run of images
        // beside the window.
        main.findChild<QAction*>("MenuZoomIn")->trigger();
        main.findChild<QAction*>("MenuZoomIn")->trigger();
        QTest::qWait(100);
        if (!out.isEmpty())
            QVERIFY(main.grab().toImage().save(QString(out).replace(".png", "-zoom.png"), "PNG"));
        main.DrawGrid()->SelectRange(10, 17);
        main.findChild<QAction*>("MenuAnimation")->trigger();
        main.Animation()->CheckOnion()->setChecked(true);
        main.Animation()->move(main.geometry().right() - main.Animation()->width() - 20,
                               main.geometry().top() + 120);
        QTest::qWait(450);
        QVERIFY(main.Animation()->Playing());
        QVERIFY(main.Animation()->Canvas()->Current() > 0);
        if (!out.isEmpty() && QGuiApplication::primaryScreen()) {
            // The screen around the main window (the animation window lies over it).
            const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(
                main.frameGeometry());
            if (!screen.isNull())
                QVERIFY(screen.save(QString(out).replace(".png", "-animation.png"), "PNG"));
        }
        main.Animation()->close();
    }
};

QTEST_MAIN(TScreenshotTest)
#include "screenshot_test.moc"
