// Dropping files onto the editor: a library file opens, pictures dropped on the grid are appended
// with the import dialog's current offset and compression, and everything else is refused.
#include "gui_support.h"

#include "app/drop_files.h"
#include "app/library_document.h"
#include "app/thumbnail_grid.h"
#include "core/checked.h"
#include "files/picture_files.h"
#include "formats/pak.h"
#include "app/dialogs/import_picture_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <filesystem>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

QUrl Url(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

// A 32-bit picture with a transparent left column, half-transparent pixels and opaque colours.
TDIB AlphaPicture(int width, int height) {
    TDIB picture;
    picture.SetPixelFormat(MakePixelFormat(8, 8, 8));
    picture.SetSize(width, height, 32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t alpha = x == 0 ? 0 : (x % 2 ? 255 : 128);
            picture.SetPixel(x, y, alpha << 24 | uint32_t(40 + 10 * x) << 16 | uint32_t(20 * y));
        }
    return picture;
}

std::string WritePicture(const std::string& path, int width, int height) {
    const TImageFormat format = PictureFormatOf(path);
    TDIB picture = AlphaPicture(width, height);
    if (format != ifPNG)
        picture.SetBitCount(24);
    if (!SavePicture(path, picture, format))
        qFatal("picture not written");
    return path;
}

QWidget& DropTarget(TfrmMain& window) {
    auto* handler = window.findChild<TFileDropHandler*>();
    if (!handler || !handler->DropTarget())
        qFatal("the main window takes no drops");
    return *handler->DropTarget();
}

// Where the grid is, in the drop target's coordinates; and a point over the file list.
QPoint OverGrid(TfrmMain& window) {
    const TDrawGrid* grid = window.DrawGrid();
    return grid->mapTo(&DropTarget(window), grid->rect().center());
}
QPoint OverFileList(TfrmMain& window) {
    const QListWidget* list = window.ListBoxFileName();
    return list->mapTo(&DropTarget(window), list->rect().center());
}

// Sends a drag enter and, when it is accepted, the drop to the drop target; true when the drop
// was taken.
bool DropOn(TfrmMain& window, const QList<QUrl>& urls, const QPoint& pos) {
    QWidget& target = DropTarget(window);
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &drop);
    WaitForJobs();
    return drop.isAccepted();
}

// Sets the import dialog's offset edits and compression group, whatever widgets carry them; ones
// the dialog lacks are added under their names first.
void SetImportChoices(QWidget& dialog, int x, int y, int compression) {
    for (const auto& [name, value] : {std::pair{"EditX", x}, std::pair{"EditY", y}}) {
        QObject* edit = dialog.findChild<QObject*>(QString::fromLatin1(name));
        if (!edit) {
            auto* spin = new QSpinBox(&dialog);
            spin->setObjectName(QString::fromLatin1(name));
            spin->setRange(-32768, 32767);
            edit = spin;
        }
        if (auto* spin = qobject_cast<QSpinBox*>(edit))
            spin->setValue(value);
        else if (auto* line = qobject_cast<QLineEdit*>(edit))
            line->setText(QString::number(value));
    }
    QObject* group = dialog.findChild<QObject*>(QStringLiteral("RadioGroup1"));
    if (!group) {
        auto* box = new QGroupBox(&dialog);
        box->setObjectName(QStringLiteral("RadioGroup1"));
        new QVBoxLayout(box);
        for (const char* text : {"不压缩", "压缩"})
            box->layout()->addWidget(new QRadioButton(QString::fromUtf8(text), box));
        group = box;
    }
    if (auto* buttons = qobject_cast<QButtonGroup*>(group))
        buttons->button(compression)->setChecked(true);
    else
        static_cast<QWidget*>(group)
            ->findChildren<QAbstractButton*>()
            .at(compression)
            ->setChecked(true);
}

// What the stored header of a new-layout Pak image says: its alpha flag and its packed length.
bool StoredWithAlpha(const TQuillrand& library, int index) {
    const auto header = library.GetImageInfo(index);
    return header && header->size() >= 16 && (*header)[3] != 0;
}
bool StoredCompressed(const TQuillrand& library, int index) {
    const auto header = library.GetImageInfo(index);
    return header && header->size() >= 16 && GetI32(header->data() + 12) > 0;
}

class TShownEditor : public TEditor {
public:
    TShownEditor() {
        Main().resize(1100, 760);
        Main().show();
        QCoreApplication::processEvents();
    }
};

} // namespace

class TDropFilesTest : public QObject {
    Q_OBJECT
private slots:
    void planTakesTheFirstLibraryAnywhereAndPicturesOnlyOverTheGrid() {
        TEditorHome home;
        const std::string wil = home.File("a.WIL");
        QVERIFY(MakeLibrary(t_Wil, wil, Sprites(3)));
        const std::string data = home.File("b.Data");
        WriteText(data, "x");
        const std::string png = WritePicture(home.File("p.png"), 5, 4);
        const std::string bmp = WritePicture(home.File("q.BMP"), 6, 3);
        const std::string text = home.File("notes.txt");
        WriteText(text, "x");
        const std::string folderNamedLikeALibrary = home.Folder("dir.wil");

        // A library file is opened even among pictures and over the grid; .Data counts.
        TDropPlan plan = PlanDrop({Url(png), Url(data), Url(wil)}, true, nullptr);
        QCOMPARE(plan.Kind, TDropKind::dkOpen);
        QCOMPARE(plan.Library, data);
        // Folders, missing files and remote addresses are never opened.
        plan = PlanDrop({Url(folderNamedLikeALibrary), Url(home.File("gone.wil")),
                         QUrl(QStringLiteral("https://www.velmora.example/x.wil"))},
                        true, nullptr);
        QCOMPARE(plan.Kind, TDropKind::dkNone);

        // Pictures need an open library that takes them and the grid under the cursor.
        QCOMPARE(PlanDrop({Url(png)}, true, nullptr).Kind, TDropKind::dkNone);
        TLibraryDocument document(OpenLibraryFile(wil).Library, "");
        QCOMPARE(PlanDrop({Url(png)}, false, &document).Kind, TDropKind::dkNone);
        plan = PlanDrop({Url(bmp), Url(text), Url(png)}, true, &document);
        QCOMPARE(plan.Kind, TDropKind::dkImport);
        QCOMPARE(plan.Pictures, (std::vector<std::string>{bmp, png}));
        QCOMPARE(PlanDrop({Url(text)}, true, &document).Kind, TDropKind::dkNone);
        {
            TLibraryDocument::TBusyGuard busy(document);
            QCOMPARE(PlanDrop({Url(wil)}, true, &document).Kind, TDropKind::dkNone);
            QCOMPARE(PlanDrop({Url(png)}, true, &document).Kind, TDropKind::dkNone);
        }

        const std::string wis = home.File("c.Wis");
        QVERIFY(MakeLibrary(t_Wis, wis, Sprites(2)));
        TLibraryDocument wisDocument(OpenLibraryFile(wis).Library, "");
        QCOMPARE(PlanDrop({Url(png)}, true, &wisDocument).Kind, TDropKind::dkNone);
    }

    void droppingALibraryFileOpensIt() {
        TEditorHome home;
        const std::string first = home.File("first.wzl");
        const std::string second = home.File("second.Pak");
        QVERIFY(MakeLibrary(t_Wzl, first, Sprites(4)));
        QVERIFY(MakeLibrary(t_Quillrand, second, Sprites(12)));
        TShownEditor editor;
        QVERIFY(DropTarget(editor.Main()).acceptDrops());
        QVERIFY(DropTarget(editor.Main()).isAncestorOf(editor.Main().DrawGrid()));
        QVERIFY(DropTarget(editor.Main()).isAncestorOf(editor.Main().ListBoxFileName()));

        QVERIFY(DropOn(editor.Main(), {Url(first)}, OverFileList(editor.Main())));
        QVERIFY(editor.Doc());
        QCOMPARE(editor.Doc()->FileName(), first);
        QCOMPARE(editor.Main().DrawGrid()->RowCount(), 1);
        // Over the grid, with a library open, a library file still opens; a Pak library asks for
        // its password as usual (an empty answer tries the default one).
        editor.Prompts.Inputs.push_back(QString());
        QVERIFY(DropOn(editor.Main(), {Url(second)}, OverGrid(editor.Main())));
        QCOMPARE(editor.Doc()->FileName(), second);
        QCOMPARE(editor.Doc()->ImageCount(), 12);
        QCOMPARE(editor.Main().DrawGrid()->RowCount(), 2);
        QCOMPARE(g_RecentFiles.front(), second);
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    void picturesDroppedOnTheGridAreAppendedWithTheDialogChoices() {
        TEditorHome home;
        const std::string pak = home.File("items.pak");
        QVERIFY(MakeLibrary(t_Quillrand, pak, Sprites(3)));
        const std::string png = WritePicture(home.File("a.png"), 7, 5);
        const std::string tga = WritePicture(home.File("b.tga"), 6, 4);
        WriteText(home.File("Pak.txt"), "items.pak|quillrand\r\n");
        TShownEditor editor;
        Open(editor.Main(), pak);
        QVERIFY(editor.Doc());
        SetImportChoices(*editor.Main().ImportDialog(), -12, 30, 0);

        QVERIFY(DropOn(editor.Main(), {Url(png), Url(tga)}, OverGrid(editor.Main())));
        QCOMPARE(editor.Prompts.Messages,
                 std::vector<QString>{QStringLiteral("图片导入成功 ！！！")});
        QCOMPARE(editor.Doc()->ImageCount(), 5);
        // The library was written: a fresh opening sees the pictures in drop order.
        editor.Main().CloseLibrary();
        TOpenResult reopened = OpenLibraryFile(pak);
        QVERIFY(reopened.Opened());
        auto* library = dynamic_cast<TQuillrand*>(reopened.Library.get());
        QVERIFY(library);
        int x = 0, y = 0;
        std::unique_ptr<TPicture> picture = library->Get(3, x, y);
        QVERIFY(picture);
        QCOMPARE(QSize(picture->Width(), picture->Height()), QSize(7, 5));
        QCOMPARE(QPoint(x, y), QPoint(-12, 30));
        picture = library->Get(4, x, y);
        QCOMPARE(QSize(picture->Width(), picture->Height()), QSize(6, 4));
        QVERIFY(StoredWithAlpha(*library, 3));
        QVERIFY(!StoredCompressed(*library, 3));

        // The compression choice reaches the library too.
        Open(editor.Main(), pak);
        SetImportChoices(*editor.Main().ImportDialog(), 0, 0, 1);
        QVERIFY(DropOn(editor.Main(), {Url(png)}, OverGrid(editor.Main())));
        QCOMPARE(editor.Doc()->ImageCount(), 6);
        QVERIFY(StoredCompressed(dynamic_cast<TQuillrand&>(*editor.Library()), 5));
        // The first new image is selected.
        QCOMPARE(editor.Doc()->Current(), 5);
        QCOMPARE(editor.Main().StatusText(2), QStringLiteral("6/6"));
    }

    void refusedDropsChangeNothing() {
        TEditorHome home;
        const std::string wil = home.File("a.wil");
        QVERIFY(MakeLibrary(t_Wil, wil, Sprites(2), 8));
        const std::string png = WritePicture(home.File("a.png"), 7, 5);
        const std::string broken = home.File("broken.png");
        WriteText(broken, "not a picture");
        TShownEditor editor;

        // No library open: pictures are not taken.
        QVERIFY(!DropOn(editor.Main(), {Url(png)}, OverGrid(editor.Main())));
        Open(editor.Main(), wil);
        QVERIFY(editor.Doc());
        const auto before = ReadText(wil);
        // Pictures beside the grid are not taken.
        QVERIFY(!DropOn(editor.Main(), {Url(png)}, OverFileList(editor.Main())));
        // One unreadable picture among them: none goes in, and the user is told.
        QVERIFY(DropOn(editor.Main(), {Url(png), Url(broken)}, OverGrid(editor.Main())));
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        // Said in Chinese, naming the picture.
        QVERIFY(editor.Prompts.Messages[0].startsWith(QStringLiteral("图片导入失败 ！！！")));
        QVERIFY(editor.Prompts.Messages[0].contains(QString::fromStdString(broken)));
        QVERIFY(editor.Prompts.Messages[0].contains(QStringLiteral("不是可以读取的 PNG 图片")));
        QCOMPARE(editor.Doc()->ImageCount(), 2);
        QVERIFY(ReadText(wil) == before);
        QVERIFY(!editor.Doc()->Busy());

        // While a job runs on the library nothing is taken at all.
        {
            TLibraryDocument::TBusyGuard busy(*editor.Doc());
            QVERIFY(!DropOn(editor.Main(), {Url(png)}, OverGrid(editor.Main())));
        }

        // A WIS library takes no pictures: the drag is refused before anything is read.
        const std::string wis = home.File("m.wis");
        QVERIFY(MakeLibrary(t_Wis, wis, Sprites(2)));
        Open(editor.Main(), wis);
        QVERIFY(!DropOn(editor.Main(), {Url(png)}, OverGrid(editor.Main())));
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
    }

    void appendedPicturesFollowTheImportRules() {
        TEditorHome home;
        const std::string wil = home.File("a.wil");
        QVERIFY(MakeLibrary(t_Wil, wil, Sprites(1), 8));
        const std::string wzl = home.File("b.wzl");
        QVERIFY(MakeLibrary(t_Wzl, wzl, Sprites(1)));
        const std::string png = WritePicture(home.File("a.png"), 10, 3);
        const std::string tiny = WritePicture(home.File("tiny.bmp"), 2, 2);

        // An 8-bit WIL library: 10 pixels wide become 12; a 2 x 2 picture becomes 1 x 1.
        std::unique_ptr<TGameImages> library = OpenLibraryFile(wil).Library;
        QVERIFY(library);
        TAppendResult result = AppendPictures(*library, {png, tiny}, {{3, -4}, 0});
        QCOMPARE(result.Imported, 2);
        QVERIFY(result.Error.empty());
        int x = 0, y = 0;
        std::unique_ptr<TPicture> picture = library->Get(1, x, y);
        QCOMPARE(QSize(picture->Width(), picture->Height()), QSize(12, 3));
        QCOMPARE(QPoint(x, y), QPoint(3, -4));
        picture = library->Get(2, x, y);
        QCOMPARE(QSize(picture->Width(), picture->Height()), QSize(1, 1));

        // A WZL library keeps the PNG's alpha.
        library = OpenLibraryFile(wzl).Library;
        QVERIFY(library);
        QCOMPARE(AppendPictures(*library, {png}, {}).Imported, 1);
        picture = library->Get(1, x, y);
        QVERIFY(picture && picture->AsPng() && picture->AsPng()->HasAlpha());

        // A missing picture: nothing is added and the file is named.
        result = AppendPictures(*library, {png, home.File("gone.png")}, {});
        QCOMPARE(result.Imported, 0);
        QCOMPARE(result.FailedFile, home.File("gone.png"));
        QCOMPARE(library->ImageCount(), 2);
    }

    void choicesAreReadFromEitherKindOfControl() {
        QDialog dialog;
        QCOMPARE(CurrentImportChoices(dialog).Offset, (TPoint{0, 0}));
        auto* x = new QLineEdit(QStringLiteral(" -17"), &dialog);
        x->setObjectName(QStringLiteral("EditX"));
        auto* y = new QSpinBox(&dialog);
        y->setObjectName(QStringLiteral("EditY"));
        y->setRange(-100, 100);
        y->setValue(-9);
        auto* group = new QButtonGroup(&dialog);
        group->setObjectName(QStringLiteral("RadioGroup1"));
        auto* plain = new QRadioButton(&dialog);
        auto* packed = new QRadioButton(&dialog);
        group->addButton(plain, 0);
        group->addButton(packed, 1);
        packed->setChecked(true);
        const TImportChoices choices = CurrentImportChoices(dialog);
        QCOMPARE(choices.Offset, (TPoint{-17, -9}));
        QCOMPARE(int(choices.Compression), 1);
        x->setText(QStringLiteral("abc"));
        QCOMPARE(CurrentImportChoices(dialog).Offset.X, 0);
    }
};

QTEST_MAIN(TDropFilesTest)
#include "drop_files_test.moc"
