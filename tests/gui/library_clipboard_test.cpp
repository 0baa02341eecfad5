// Copy and paste between the tabs of the editor: each paste mode as one undoable edit, records
// unchanged between libraries of one layout, pictures with a question about what the target
// cannot hold otherwise, images pasted as they were when copied; the system clipboard both ways;
// a selection dragged from one tab's grid onto another.
#include "gui_support.h"

#include "app/library_clipboard.h"
#include "app/preview.h"
#include "support/cli_support.h"

#include <QAction>
#include <QClipboard>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QTabBar>

#include <cstdlib>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

// The stored header and payload of every image of a library read anew.
std::vector<std::vector<uint8_t>> StoredImages(const std::string& path) {
    std::vector<std::vector<uint8_t>> images;
    const std::unique_ptr<TGameImages> library = Reopen(path);
    for (const TRecord& record : *library->Snapshot()) {
        std::vector<uint8_t> bytes(record->Header().begin(), record->Header().end());
        const TPayload payload(*record);
        bytes.insert(bytes.end(), payload.Bytes().begin(), payload.Bytes().end());
        images.push_back(std::move(bytes));
    }
    return images;
}

// Pixels as a library without alpha shows them (transparent ones black), and offsets.
struct TShown {
    std::vector<uint32_t> Pixels;
    TPoint Offset;
};
std::vector<TShown> ShownImages(const std::string& path) {
    std::vector<TShown> shown;
    const std::unique_ptr<TGameImages> library = Reopen(path);
    for (int i = 0; i < library->ImageCount(); ++i) {
        int x = 0, y = 0;
        std::vector<uint32_t> pixels = cli_test::PictureArgb(*library->Get(i, x, y));
        for (uint32_t& p : pixels)
            p = (p >> 24) == 0 ? 0 : (p & 0xFFFFFF);
        shown.push_back({pixels, library->GetPoint(i)});
    }
    return shown;
}

bool Near(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int((a[i] >> shift) & 255) - int((b[i] >> shift) & 255)) > 12)
                return false;
    return true;
}

template <class T> std::vector<T> Slice(const std::vector<T>& v, size_t from, size_t count) {
    return std::vector<T>(v.begin() + long(from), v.begin() + long(from + count));
}

void Trigger(TfrmMain& main, const char* action) {
    QVERIFY2(main.Action(action)->isEnabled(), action);
    main.Action(action)->trigger();
    WaitForJobs();
}

QWidget& DropTarget(TfrmMain& main) {
    return *main.centralWidget();
}

// Sends a drag entering the drop target at pos; true when it was accepted.
bool DragOver(TfrmMain& main, QMimeData& data, const QPoint& pos) {
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&DropTarget(main), &enter);
    return enter.isAccepted();
}

} // namespace

class TLibraryClipboardTest : public QObject {
    Q_OBJECT
private slots:
    // Each paste mode into a library of the copy's own layout (the records unchanged) and its
    // undo, a replace that reaches past the end, and a paste into a WIL that must decode the
    // pictures: asked about the alpha it loses, and made from the images as they were copied,
    // after the source deleted them and its tab closed.
    void pasteModesAndUndo() {
        TEditorHome home;
        const std::string src = home.File("src.wzl"), wzl = home.File("dst.wzl");
        const std::string wil = home.File("dst.wil");
        std::vector<TSpriteSpec> sprites = Sprites(6);
        sprites[1].Alpha = sprites[3].Alpha = true;
        QVERIFY(MakeLibrary(t_Wzl, src, sprites));
        QVERIFY(MakeLibrary(t_Wzl, wzl, Sprites(4, 10, 8)));
        QVERIFY(MakeLibrary(t_Wil, wil, Sprites(3, 8, 8)));
        const auto source = StoredImages(src);
        const auto sourceShown = ShownImages(src);
        const auto before = StoredImages(wzl);
        TEditor editor;
        TfrmMain& main = editor.Main();
        OpenInTabs(main, {src, wzl, wil}, 3);
        TLibraryDocument& docSrc = *main.Documents()[0];
        TLibraryDocument& docWzl = *main.Documents()[1];
        TLibraryDocument& docWil = *main.Documents()[2];

        main.ShowDocument(docSrc);
        main.DrawGrid()->SelectRange(1, 3);
        Trigger(main, "MenuCopy");
        QCOMPARE(main.StatusText(5), QString("已复制 3 张图片：00001-00003"));

        struct TCase {
            const char* Action;
            int Selected;
            std::vector<std::vector<uint8_t>> Expected;
            const char* Note;
        };
        const auto join = [](std::initializer_list<std::vector<std::vector<uint8_t>>> parts) {
            std::vector<std::vector<uint8_t>> all;
            for (const auto& part : parts)
                all.insert(all.end(), part.begin(), part.end());
            return all;
        };
        const auto copied = Slice(source, 1, 3);
        const TCase cases[] = {
            {"MenuPaste", 2, join({Slice(before, 0, 2), copied, Slice(before, 2, 2)}),
             "已粘贴 3 张图片到 00002-00004"},
            {"MenuPasteReplace", 1, join({Slice(before, 0, 1), copied}),
             "已粘贴 3 张图片到 00001-00003"},
            {"MenuPasteAppend", 0, join({before, copied}), "已粘贴 3 张图片到 00004-00006"},
        };
        main.ShowDocument(docWzl);
        for (const TCase& c : cases) {
            const QString name = QString::fromLatin1(c.Action);
            docWzl.Select(c.Selected);
            Trigger(main, c.Action);
            QVERIFY2(StoredImages(wzl) == c.Expected, c.Action);
            QCOMPARE(main.StatusText(5), QString::fromUtf8(c.Note));
            const int first = QString::fromUtf8(c.Note).section(' ', 3).left(5).toInt();
            QCOMPARE(docWzl.SelectedRange(), (std::pair<int, int>(first, first + 2)));
            QCOMPARE(docWzl.Current(), first);
            QCOMPARE(main.UndoAction()->text(), "撤销 " + main.Action(c.Action)->text());
            Undo(main);
            QVERIFY2(StoredImages(wzl) == before, c.Action);
        }
        // Three images from image 2 on do not fit a library of four: nothing is written.
        docWzl.Select(2);
        Trigger(main, "MenuPasteReplace");
        QVERIFY2(editor.Prompts.Errors.back().startsWith("无法粘贴替换 ！！！\n要替换第 2 到第 4 "
                                                         "张图片，但文件只有 4 张图片"),
                 qPrintable(editor.Prompts.Errors.back()));
        QVERIFY(StoredImages(wzl) == before);

        // Into the library they came from: the images are there twice, and once after the undo.
        main.ShowDocument(docSrc);
        docSrc.Select(0);
        Trigger(main, "MenuPaste");
        QVERIFY(StoredImages(src) == join({copied, source}));
        Undo(main);
        QVERIFY(StoredImages(src) == source);

        // The source loses the copied images and its tab closes: the paste still brings them,
        // decoded for the 16-bit WIL, after the question about their alpha.
        docSrc.Edit("删除", [](TGameImages& library) { library.Delete(0, 3, {}); });
        main.ShowDocument(docSrc);
        main.CloseLibrary();
        QCOMPARE(main.Documents().size(), size_t(2));
        main.ShowDocument(docWil);
        docWil.Select(0);
        editor.Prompts.Confirms = {false, true};
        Trigger(main, "MenuPaste");
        QVERIFY2(editor.Prompts.Questions.back().contains("粘贴 3 张图片到 dst.wil（16位）") &&
                     editor.Prompts.Questions.back().contains(
                         "2 张图片的透明通道将丢失（透明像素变为黑色）"),
                 qPrintable(editor.Prompts.Questions.back()));
        QCOMPARE(Reopen(wil)->ImageCount(), 3);
        QCOMPARE(main.StatusText(5), QString("未粘贴，文件未修改"));
        Trigger(main, "MenuPaste");
        const auto pasted = ShownImages(wil);
        QCOMPARE(pasted.size(), size_t(6));
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(Near(pasted[size_t(i)].Pixels, sourceShown[size_t(i + 1)].Pixels),
                     qPrintable(QString::number(i)));
            QCOMPARE(pasted[size_t(i)].Offset, sourceShown[size_t(i + 1)].Offset);
        }
        Undo(main);
        QCOMPARE(Reopen(wil)->ImageCount(), 3);
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    // 复制 puts the first selected image on the system clipboard as a PNG picture (alpha kept;
    // black transparent without alpha); a picture of another program is pasted at the selection
    // with offsets (0, 0) or those of the image it replaces; no picture is said so.
    void systemClipboardBothWays() {
        TEditorHome home;
        const std::string wzl = home.File("a.wzl"), wil = home.File("b.wil");
        std::vector<TSpriteSpec> sprites = Sprites(3);
        sprites[1].Alpha = true;
        QVERIFY(MakeLibrary(t_Wzl, wzl, sprites));
        QVERIFY(MakeLibrary(t_Wil, wil, Sprites(4), 8)); // palette index 0 is black
        TEditor editor;
        TfrmMain& main = editor.Main();
        OpenInTabs(main, {wzl, wil}, 2);
        QClipboard& clipboard = *QGuiApplication::clipboard();
        for (const auto& [path, index, alpha] :
             {std::tuple{wzl, 1, true}, std::tuple{wil, 0, false}}) {
            TLibraryDocument& doc = *main.DocumentOf(path);
            main.ShowDocument(doc);
            doc.SelectRange(index + 1 < doc.ImageCount() ? index + 1 : index, index);
            Trigger(main, "MenuCopy");
            const QImage copied = QImage::fromData(clipboard.mimeData()->data("image/png"), "PNG");
            int x = 0, y = 0;
            const std::vector<uint32_t> argb =
                cli_test::PictureArgb(*Reopen(path)->Get(index, x, y));
            QCOMPARE(copied.size(), QSize(16, 12));
            int transparent = 0;
            for (int p = 0; p < copied.width() * copied.height(); ++p) {
                const QRgb shown = copied.pixel(p % copied.width(), p / copied.width());
                const uint32_t stored = argb[size_t(p)];
                const int expected =
                    alpha ? int(stored >> 24) : ((stored & 0xFFFFFF) == 0 ? 0 : 255);
                QCOMPARE(qAlpha(shown), expected);
                transparent += expected == 0;
            }
            QVERIFY(transparent < copied.width() * copied.height());
            QVERIFY(alpha || transparent > 0);
        }

        // Another program's picture: 7 x 5 pixels, half of them transparent.
        QImage picture(7, 5, QImage::Format_ARGB32);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                picture.setPixel(x, y, x < 3 ? qRgba(0, 0, 0, 0) : qRgba(200, 40 * y, 30, 255));
        TLibraryDocument& doc = *main.DocumentOf(wzl);
        main.ShowDocument(doc);
        const TPoint replaced = doc.Library().GetPoint(2);
        struct TCase {
            const char* Action;
            int Selected, At, Count;
            TPoint Offset;
        };
        for (const TCase& c :
             {TCase{"MenuPaste", 1, 1, 4, {}}, TCase{"MenuPasteReplace", 3, 3, 4, replaced},
              TCase{"MenuPasteAppend", 0, 4, 5, {}}}) {
            auto* data = new QMimeData;
            data->setImageData(picture);
            clipboard.setMimeData(data);
            doc.Select(c.Selected);
            Trigger(main, c.Action);
            const std::unique_ptr<TGameImages> file = Reopen(wzl);
            QCOMPARE(file->ImageCount(), c.Count);
            const std::optional<TImageDescription> d = file->Describe(c.At, true);
            QVERIFY2(d && d->Width == 7 && d->Height == 5, c.Action);
            QCOMPARE(d->Offset, c.Offset);
            QCOMPARE(doc.Current(), c.At);
        }
        clipboard.setText("no picture");
        Trigger(main, "MenuPaste");
        QCOMPARE(editor.Prompts.Errors.back(), QString("剪贴板中没有图片 ！！！"));
        QCOMPARE(Reopen(wzl)->ImageCount(), 5);
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    // A selection dragged from one tab's grid: held over another tab it shows that tab, dropped
    // on a grid cell it goes before that image (records unchanged), dropped on a tab after its
    // last image; never onto the library it came from. Pressing a selected cell and moving away
    // asks for the drag rather than selecting more.
    void dragBetweenTabs() {
        TEditorHome home;
        const std::string a = home.File("a.wil"), b = home.File("b.wil");
        QVERIFY(MakeLibrary(t_Wil, a, Sprites(6)));
        QVERIFY(MakeLibrary(t_Wil, b, Sprites(3, 9, 9)));
        const auto source = StoredImages(a), before = StoredImages(b);
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.resize(1100, 760);
        main.show();
        OpenInTabs(main, {a, b}, 2);
        TLibraryDocument& docA = *main.Documents()[0];
        TLibraryDocument& docB = *main.Documents()[1];
        main.ShowDocument(docA);
        main.DrawGrid()->SelectRange(1, 2);
        std::unique_ptr<QMimeData> data(main.Clipboard()->DragData(docA));
        QVERIFY(data);
        QTabBar& tabs = *main.TabBar();
        const auto overTab = [&](int i) {
            return tabs.mapTo(&DropTarget(main), tabs.tabRect(i).center());
        };
        QVERIFY2(!DragOver(main, *data, overTab(0)), "not onto its own library");
        QVERIFY(DragOver(main, *data, overTab(1)));
        QCOMPARE(main.Document(), &docB);
        TDrawGrid& grid = *main.DrawGrid();
        const QPoint cell1 =
            grid.viewport()->mapTo(&DropTarget(main), grid.CellRect(1, 0).center());
        QVERIFY(DragOver(main, *data, cell1));
        QDropEvent drop(QPointF(cell1), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&DropTarget(main), &drop);
        WaitForJobs();
        QVERIFY(drop.isAccepted());
        std::vector<std::vector<uint8_t>> expected = {before[0], source[1], source[2], before[1],
                                                      before[2]};
        QVERIFY(StoredImages(b) == expected);
        QCOMPARE(main.UndoAction()->text(), QString("撤销 拖放粘贴"));
        Undo(main);
        QVERIFY(StoredImages(b) == before);
        QVERIFY(DragOver(main, *data, overTab(1)));
        QDropEvent onTab(QPointF(overTab(1)), Qt::CopyAction, data.get(), Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(&DropTarget(main), &onTab);
        WaitForJobs();
        QCOMPARE(StoredImages(b).back(), source[2]);
        QCOMPARE(Reopen(b)->ImageCount(), 5);

        // The gesture: a press on a selected cell that moves away asks for the drag and keeps
        // the selection; a click on it selects that cell alone.
        TDrawGrid gesture;
        gesture.resize(400, 300);
        gesture.show();
        gesture.SetImageCount(20);
        gesture.SetSelection(2, 4);
        QSignalSpy drags(&gesture, &TDrawGrid::DragRequested);
        QSignalSpy selections(&gesture, &TDrawGrid::SelectionRequested);
        const QPoint at = gesture.CellRect(3, 0).center();
        QTest::mousePress(gesture.viewport(), Qt::LeftButton, {}, at);
        QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(30, 30)),
                         gesture.viewport()->mapToGlobal(QPointF(at + QPoint(30, 30))),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(gesture.viewport(), &move);
        QTest::mouseRelease(gesture.viewport(), Qt::LeftButton, {}, at + QPoint(30, 30));
        QCOMPARE(drags.count(), 1);
        QCOMPARE(selections.count(), 0);
        QTest::mouseClick(gesture.viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(selections.count(), 1);
        QCOMPARE(gesture.SelectedRange(), (std::pair<int, int>(3, 3)));
        QVERIFY(editor.Prompts.Unexpected.empty());
    }
};

QTEST_MAIN(TLibraryClipboardTest)
#include "library_clipboard_test.moc"
