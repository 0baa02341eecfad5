// The thumbnail grid as it paints, its selection, and the preview with transparency.
#include "gui_support.h"

#include "app/status_texts.h"
#include "app/thumbnail_cache.h"
#include "app/thumbnail_grid.h"

#include <QAction>
#include <QScrollBar>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

constexpr TColor kRed = RGBColor(255, 0, 0);
constexpr TColor kGreen = RGBColor(0, 255, 0);

bool IsRed(QRgb p) {
    return qRed(p) > 240 && qGreen(p) < 16 && qBlue(p) < 16;
}
bool IsGreen(QRgb p) {
    return qGreen(p) > 240 && qRed(p) < 16 && qBlue(p) < 16;
}
bool IsWhite(QRgb p) {
    return qRed(p) == 255 && qGreen(p) == 255 && qBlue(p) == 255;
}

// The grid once the thumbnails it asked for have arrived.
QImage GridPixels(TfrmMain& main) {
    main.DrawGrid()->viewport()->grab();
    main.Thumbnails()->WaitUntilIdle();
    return main.DrawGrid()->viewport()->grab().toImage();
}

// The editor with a WZL library whose images 1 and 2 are a red 120 x 60 and a green 30 x 20
// rectangle, shown on screen with the grid large enough for three rows.
struct TGridFixture {
    TEditorHome Home;
    std::unique_ptr<TEditor> Editor;

    TGridFixture() {
        std::vector<TSpriteSpec> sprites = Sprites(13);
        sprites[1] = {120, 60, 3, -4, kRed};
        sprites[2] = {30, 20, 0, 0, kGreen};
        sprites[3] = {1, 1, 0, 0, kRed};
        sprites[4] = {2000, 2000, 0, 0, kGreen};
        sprites[5] = {24, 24, 0, 0, kRed, true};
        MakeLibrary(t_Wzl, Home.File("g.wzl"), sprites);
        Editor = std::make_unique<TEditor>();
        Main().resize(Main().width(), 900); // the default width: ten columns
        Main().show();
        Open(Main(), Home.File("g.wzl"));
        QCoreApplication::processEvents();
    }
    TfrmMain& Main() { return Editor->Main(); }
};

} // namespace

class TGridPreviewTest : public QObject {
    Q_OBJECT
private slots:
    void cellsShowFittedThumbnailsAndNumbers() {
        TGridFixture f;
        const QImage grid = GridPixels(f.Main());
        const int pitch = TDrawGrid::kPitch;
        // 120 x 60 drawn as 80 x 40 at the cell's top-left corner.
        QVERIFY(IsRed(grid.pixel(pitch + 79, 0)));
        QVERIFY(IsRed(grid.pixel(pitch + 79, 39)));
        QVERIFY(IsWhite(grid.pixel(pitch + 79, 41)));
        // 30 x 20 keeps its size.
        QVERIFY(IsGreen(grid.pixel(2 * pitch + 29, 19)));
        QVERIFY(IsWhite(grid.pixel(2 * pitch + 30, 10)));
        QVERIFY(IsWhite(grid.pixel(2 * pitch + 29, 20)));
        // Grid lines between cells.
        QVERIFY(!IsWhite(grid.pixel(pitch - 1, 50)));
        // The number label in the bottom-left corner: black text with a white outline.
        int black = 0;
        for (int y = 60; y < 80; ++y)
            for (int x = 2 * pitch; x < 2 * pitch + 40; ++x)
                black += qGray(grid.pixel(x, y)) < 60;
        QVERIFY(black > 10);
        // Past the last image (13 images: cell 3 of row 1 and on) nothing at all is drawn.
        for (int y = pitch; y < pitch + 80; y += 7)
            for (int x = 3 * pitch; x < 3 * pitch + 80; x += 7)
                QVERIFY(IsWhite(grid.pixel(x, y)));
    }

    void cellLabelsAreFiveDigitsAtLeast() {
        QCOMPARE(CellNumberText(0), QString("00000"));
        QCOMPARE(CellNumberText(12), QString("00012"));
        QCOMPARE(CellNumberText(123456), QString("123456"));
        QCOMPARE(LibraryKindText(t_Wis, 16), QString("Wis 16位真彩"));
        QCOMPARE(LibraryKindText(t_Wil, 8), QString("Wil 8位色"));
        QCOMPARE(ImageDataText(7, 1, 2, -3, -4), QString("序号:00007 宽:1 高:2 偏移坐标:-3,-4"));
    }

    void previewCentresSmallAndScrollsLargePictures() {
        TGridFixture f;
        TPreviewArea* area = f.Main().PreviewArea();
        f.Main().DrawGrid()->FocusCell(3, 0);
        QCOMPARE(area->Picture()->size(), QSize(1, 1));
        const QSize view = area->viewport()->size();
        QCOMPARE(area->verticalScrollBar()->maximum(), 0);
        QCOMPARE(area->horizontalScrollBar()->maximum(), 0);
        QCOMPARE(area->PictureOrigin(), QPoint((view.width() - 1) / 2, (view.height() - 1) / 2));

        f.Main().DrawGrid()->FocusCell(4, 0);
        QCoreApplication::processEvents();
        QCOMPARE(area->Picture()->size(), QSize(2000, 2000));
        QCOMPARE(area->PictureOrigin(), QPoint(0, 0));
        QVERIFY(area->verticalScrollBar()->maximum() > 0);
        QVERIFY(area->horizontalScrollBar()->maximum() > 0);
    }

    void transparentDisplayRedrawsAtOnce() {
        TGridFixture f;
        TfrmMain& main = f.Main();
        QVERIFY(!main.TransparentAction()->isChecked());
        QCOMPARE(main.TransparentAction()->text(), QString("透明显示"));
        main.DrawGrid()->FocusCell(1, 0);
        const QImage& shown = main.PreviewArea()->Picture()->Image();
        QCOMPARE(qAlpha(shown.pixel(5, 5)), 255);
        main.TransparentClick();
        QVERIFY(main.TransparentAction()->isChecked());
        // A single-coloured picture: every pixel has the bottom-left pixel's colour.
        QCOMPARE(qAlpha(main.PreviewArea()->Picture()->Image().pixel(5, 5)), 0);
        main.TransparentAction()->trigger(); // the menu item itself
        QCOMPARE(qAlpha(main.PreviewArea()->Picture()->Image().pixel(5, 5)), 255);
    }

    // Grid, preview and animation show a picture by one rule, the game's: black is transparent
    // where the picture has no alpha channel, and a picture with one is drawn by its alpha.
    void thumbnailsAndPreviewShareOneRule() {
        TEditorHome home;
        const std::string path = home.File("black.wzl");
        {
            QVERIFY(MakeLibrary(t_Wzl, path, {}));
            std::unique_ptr<TGameImages> library = Reopen(path);
            auto update = library->BeginUpdate(-1);
            TDIB black;
            black.SetPixelFormat(MakePixelFormat(5, 6, 5));
            black.SetSize(8, 8, 16);
            black.FillRect(0, 0, 8, 8, RGBColor(0, 0, 0));
            black.SetPixel(3, 3, 0xF800); // one red pixel
            QVERIFY(update.Add(black, 0, 0, 0, nullptr));
            TDIB opaque;
            opaque.SetSize(8, 8, 8);
            opaque.FillRect(0, 0, 8, 8, 255);
            QVERIFY(update.Add(black, 0, 0, 0, &opaque));
            update.EndUpdate();
        }
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        Open(main, path);
        main.DrawGrid()->viewport()->grab();
        main.Thumbnails()->WaitUntilIdle();
        const auto thumbnail = [&](int index) {
            return main.Thumbnails()->Find(index, main.DrawGrid()->CellSize())->Image;
        };
        const auto preview = [&] { return main.PreviewArea()->Picture()->Image(); };
        // Without alpha: the black is not drawn, the red is.
        QCOMPARE(qAlpha(preview().pixel(0, 0)), 0);
        QCOMPARE(qAlpha(preview().pixel(3, 3)), 255);
        QCOMPARE(qAlpha(thumbnail(0).pixel(0, 0)), 0);
        QCOMPARE(qAlpha(thumbnail(0).pixel(3, 3)), 255);
        // With an opaque alpha plane (as the format stores it): black, and drawn.
        const auto opaqueBlack = [](QRgb pixel) {
            return qAlpha(pixel) > 240 && (pixel & RGB_MASK) == 0;
        };
        main.DrawGrid()->FocusCell(1, 0);
        QVERIFY(opaqueBlack(preview().pixel(0, 0)));
        QVERIFY(opaqueBlack(thumbnail(1).pixel(0, 0)));
        // The stored pixels, on request.
        main.DrawGrid()->FocusCell(0, 0);
        main.StoredViewAction()->trigger();
        QCOMPARE(preview().pixel(0, 0), qRgba(0, 0, 0, 255));
        main.StoredViewAction()->trigger();
        QCOMPARE(qAlpha(preview().pixel(0, 0)), 0);
    }

    void alphaPlaneReachesThePreview() {
        TGridFixture f;
        f.Main().DrawGrid()->FocusCell(5, 0);
        const QImage image = f.Main().PreviewArea()->Picture()->Image();
        QCOMPARE(image.size(), QSize(24, 24));
        bool partlyTransparent = false;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                partlyTransparent |= qAlpha(image.pixel(x, y)) < 255;
        QVERIFY(partlyTransparent);
        // Composed over a checkerboard: the widget's own paint shows no pure transparency.
        const QImage painted = f.Main().PreviewArea()->Picture()->grab().toImage();
        QCOMPARE(painted.size(), QSize(24, 24));
    }

    void mouseAndKeysSelectRanges() {
        TGridFixture f;
        TDrawGrid* grid = f.Main().DrawGrid();
        const QPoint cell12 = grid->CellRect(2, 1).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell12);
        QCOMPARE(f.Editor->Doc()->Current(), 12);
        using TRange = std::pair<int, int>;
        QCOMPARE(grid->SelectedRange(), TRange(12, 12));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          grid->CellRect(5, 0).center());
        // Ranges run in reading order, as the commands' from/to fields take them.
        QCOMPARE(grid->SelectedRange(), TRange(5, 12));
        QCOMPARE(f.Editor->Doc()->Current(), 5);
        QTest::keyClick(grid, Qt::Key_Left);
        QCOMPARE(f.Editor->Doc()->Current(), 4);
        QCOMPARE(grid->SelectedRange(), TRange(4, 4));
        QTest::keyClick(grid, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(grid->SelectedRange(), TRange(4, 12)); // image 14 does not exist
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(f.Editor->Doc()->Current(), 12); // the last image, not the cells after it
        QTest::keyClick(grid, Qt::Key_PageDown);
        QCOMPARE(f.Editor->Doc()->Current(), 12);
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_Up);
        QTest::keyClick(grid, Qt::Key_Up); // stops at the edge
        QCOMPARE(grid->Row(), 0);
    }

    void focusScrollsTheCellIntoView() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("many.wzl"), Sprites(600, 8, 8)));
        TEditor editor;
        editor.Main().show();
        Open(editor.Main(), home.File("many.wzl"));
        TDrawGrid* grid = editor.Main().DrawGrid();
        QCOMPARE(grid->RowCount(), 61);
        grid->FocusCell(7, 50);
        QVERIFY(grid->verticalScrollBar()->value() > 0);
        QVERIFY(grid->viewport()->rect().contains(grid->CellRect(7, 50)));
        QCOMPARE(editor.Doc()->Current(), 507);
        QCOMPARE(editor.Main().StatusText(2), QString("508/600"));
        // Fewer rows move the focused cell up to the last row.
        editor.Main().CloseLibrary();
        QCOMPARE(grid->Row(), 0);
    }
};

QTEST_MAIN(TGridPreviewTest)
#include "grid_preview_test.moc"
