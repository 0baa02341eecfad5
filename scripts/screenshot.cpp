// The README's pictures of the editor: the window on a generated Pak library with a range of
// images selected, the preview zoomed, the animation preview playing beside the window, and the
// library compared with a patched copy of it in a second tab.
// scripts/screenshot builds this program and runs it under a virtual X server of each screen size.
// Usage: velmora-screenshot OUT.png [--all] [--english]   (with --all also OUT-zoom.png,
// OUT-animation.png and OUT-compare.png; with --english the editor starts in English)
#include "gui_support.h"

#include "app/animation_window.h"
#include "app/thumbnail_cache.h"
#include "app/translations.h"
#include "app/dialogs/compare_dialog.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
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
#include <QTableView>
#include <QTreeView>

#include <cmath>
#include <map>
#include <set>
#include <cstdio>
#include <cstdlib>

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

// Writes a Pak library of 16-bit, zlib-compressed sprites with alpha planes. A patched copy
// draws the sprites `swapped` names with others and moves those of `moved`.
bool MakeShowcaseLibrary(const std::string& path, int count, const std::map<int, int>& swapped = {},
                         const std::set<int>& moved = {}) {
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
        const auto swap = swapped.find(i);
        const QImage sprite = DrawSprite(swap == swapped.end() ? i : swap->second);
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
        const int shift = moved.count(i) ? 6 : 0;
        if (!update.Add(colour, -sprite.width() / 2 + shift, -sprite.height() - shift, 1,
                        alpha.get()))
            return false;
    }
    update.EndUpdate();
    return true;
}

// A step that did not come out as it should: said, and the program ends with status 1.
void Expect(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "velmora-screenshot: %s\n", what);
    std::exit(1);
}

void Wait(int ms) {
    QTest::qWait(ms);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    bool all = false;
    bool english = false;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        all = all || option == "--all";
        english = english || option == "--english";
        if (option != "--all" && option != "--english")
            argc = 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmora-screenshot OUT.png [--all] [--english]\n");
        return 2;
    }
    const QString out = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    TEditorHome home;
    QApplication::setFont(InterfaceFont());
    const std::string dir = home.Folder("Data");
    for (const char* folder : {"Map", "Sound", "Wav"})
        home.Folder(folder);
    Expect(MakeShowcaseLibrary(dir + "Items.Pak", 137), "the showcase library");
    Expect(MakeShowcaseLibrary(dir + "Items-patch.Pak", 140, {{21, 64}, {33, 70}}, {14, 27}),
           "the patched showcase library");
    Expect(MakeLibrary(t_Wil, dir + "Hum.wil", Sprites(3)), "a WIL library");
    Expect(MakeLibrary(t_Wzl, dir + "Effect.wzl", Sprites(3)), "a WZL library");
    WriteText(home.File("Pak.txt"), "Items.Pak|quillrand\r\nItems-patch.Pak|quillrand\r\n");
    WriteText(home.File("Config.ini"), dir + "Items.Pak\r\n");
    if (english)
        SaveLanguage(TLanguage::lgEnglish);

    TEditor editor;
    TfrmMain& main = editor.Main();
    main.show();
    Expect(QTest::qWaitForWindowExposed(&main), "the window is shown");
    // The start timer shows the last folder.
    Expect(QTest::qWaitFor([] { return !g_CurrentDir.empty(); }), "the last folder is shown");
    // The folder tree shows the game's folders only, not the rest of the machine.
    auto* tree = main.findChild<QTreeView*>("ShellTreeView");
    auto* folders = static_cast<QFileSystemModel*>(tree->model());
    tree->setRootIndex(folders->index(QString::fromStdString(home.Path())));
    main.OpenSelectedFile();
    WaitForJobs();
    Expect(editor.Doc() != nullptr, "the library opens");
    main.DrawGrid()->SelectRange(12, 14);
    main.DrawGrid()->setFocus();
    Wait(50);
    main.Thumbnails()->WaitUntilIdle();
    Wait(150);
    Expect(main.StatusText(2) == QString("15/137"), "image 14 is selected");
    Expect(main.StatusText(4).contains(english ? QStringLiteral("16-bit compressed")
                                               : QStringLiteral("16位色 压缩:是")),
           "the pixel format");
    Expect(!main.PreviewArea()->Picture()->size().isEmpty(), "the preview shows the image");
    Expect(main.grab().toImage().save(out, "PNG"), "the window's picture is written");
    if (!all)
        return 0;

    // The preview zoomed three times, then the animation preview playing a run of images beside
    // the window.
    main.findChild<QAction*>("MenuZoomIn")->trigger();
    main.findChild<QAction*>("MenuZoomIn")->trigger();
    Wait(100);
    QString zoom = out;
    Expect(main.grab().toImage().save(zoom.replace(".png", "-zoom.png"), "PNG"), "the zoom");
    main.DrawGrid()->SelectRange(10, 17);
    main.findChild<QAction*>("MenuAnimation")->trigger();
    main.Animation()->CheckOnion()->setChecked(true);
    Wait(450);
    Expect(main.Animation()->Playing() && main.Animation()->Canvas()->Current() > 0,
           "the animation plays");
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // The screen around the main window (the animation window lies over it).
        const QImage shot = screen->grabWindow(0).toImage().copy(main.frameGeometry());
        QString animation = out;
        if (!shot.isNull())
            Expect(shot.save(animation.replace(".png", "-animation.png"), "PNG"), "the animation");
    }
    main.Animation()->close();

    // Two tabs, the patched library compared with the first: what differs is selected in each
    // and listed beside the window.
    main.OpenLibrary(dir + "Items-patch.Pak");
    WaitForJobs();
    Expect(main.Documents().size() == 2, "the second library opens in a tab");
    TLibraryDocument& first = *main.Documents()[0];
    main.ShowDocument(first);
    main.findChild<QAction*>("MenuCompare")->trigger();
    WaitForJobs();
    TfrmCompareDlg& compare = *main.CompareDialog();
    Expect(compare.isVisible() && compare.Result().Differences.size() == 7, "the comparison");
    compare.Table()->selectRow(1);
    compare.resize(440, main.frameGeometry().height() - 8);
    compare.move(main.frameGeometry().right() + 8, main.frameGeometry().top());
    main.findChild<QAction*>("MenuZoomActual")->trigger();
    main.DrawGrid()->setFocus();
    main.Thumbnails()->WaitUntilIdle();
    Wait(300);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect both =
            main.frameGeometry().united(compare.frameGeometry()).adjusted(-4, -4, 4, 4);
        const QImage shot = screen->grabWindow(0).toImage().copy(both);
        QString tabs = out;
        if (!shot.isNull())
            Expect(shot.save(tabs.replace(".png", "-compare.png"), "PNG"), "the comparison");
    }
    return 0;
}
