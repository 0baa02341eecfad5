#include "app/dialogs/compare_dialog.h"

#include "app/dialog_parts.h"
#include "app/exception_handler.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "core/utils.h"
#include "files/log.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTableView>
#include <QVBoxLayout>

#include <exception>

namespace velmora {

namespace {

QString FileNameText(const TLibraryDocument& document) {
    return QString::fromStdString(ExtractFileName(document.FileName()));
}

// What differs, in words: "像素, 坐标", "只在 A 中".
QString DifferenceWords(uint8_t what) {
    static const char* const kWords[] = {QT_TRANSLATE_NOOP("velmora::TfrmCompareDlg", "像素"),
                                         QT_TRANSLATE_NOOP("velmora::TfrmCompareDlg", "大小"),
                                         QT_TRANSLATE_NOOP("velmora::TfrmCompareDlg", "坐标"),
                                         QT_TRANSLATE_NOOP("velmora::TfrmCompareDlg", "只在 A 中"),
                                         QT_TRANSLATE_NOOP("velmora::TfrmCompareDlg", "只在 B 中")};
    QStringList words;
    for (int bit = 0; bit < 5; ++bit)
        if (what & (1u << bit))
            words << TfrmCompareDlg::tr(kWords[bit]);
    return words.join(QStringLiteral(", "));
}

QString SideText(const std::optional<TImageSide>& side) {
    if (!side)
        return TfrmCompareDlg::tr("—");
    const QString offset = TfrmCompareDlg::tr("坐标 %1,%2").arg(side->Offset.X).arg(side->Offset.Y);
    if (side->Empty)
        return TfrmCompareDlg::tr("空图片");
    return TfrmCompareDlg::tr("%1×%2 %3").arg(side->Width).arg(side->Height).arg(offset);
}

// The differences as a table: number, what differs, each side's size and offset. A model rather
// than items, so that a list of many thousands shows at once.
class TDifferenceModel : public QAbstractTableModel {
public:
    explicit TDifferenceModel(QObject* parent) : QAbstractTableModel(parent) {}

    void SetResult(const TDiffResult* result, const QString& nameA, const QString& nameB) {
        beginResetModel();
        FResult = result;
        FNameA = nameA;
        FNameB = nameB;
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() || !FResult ? 0 : int(FResult->Differences.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!FResult || role != Qt::DisplayRole || index.row() < 0 ||
            size_t(index.row()) >= FResult->Differences.size())
            return {};
        const TDifferentImage& image = FResult->Differences[size_t(index.row())];
        switch (index.column()) {
        case 0:
            return CellNumberText(image.Index);
        case 1:
            return DifferenceWords(image.What);
        case 2:
            return SideText(image.A);
        case 3:
            return SideText(image.B);
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        switch (section) {
        case 0:
            return TfrmCompareDlg::tr("序号");
        case 1:
            return TfrmCompareDlg::tr("差异");
        case 2:
            return QStringLiteral("A: %1").arg(FNameA);
        case 3:
            return QStringLiteral("B: %1").arg(FNameB);
        default:
            return {};
        }
    }

private:
    const TDiffResult* FResult = nullptr;
    QString FNameA, FNameB;
};

// The images of the list that a library of `count` images holds.
std::vector<int> HeldImages(const TDiffResult& result, int count) {
    std::vector<int> images;
    for (const TDifferentImage& image : result.Differences)
        if (image.Index < count)
            images.push_back(image.Index);
    return images;
}

} // namespace

TfrmCompareDlg::TfrmCompareDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmCompareDlg"));
    setWindowTitle(tr("比较"));
    setModal(false);
    resize(560, 420);
    auto* layout = new QVBoxLayout(this);
    FSummary = new QLabel(this);
    FSummary->setObjectName(QStringLiteral("LabelSummary"));
    FSummary->setWordWrap(true);
    layout->addWidget(FSummary);
    auto* model = new TDifferenceModel(this);
    FModel = model;
    FTable = new QTableView(this);
    FTable->setObjectName(QStringLiteral("TableDifferences"));
    FTable->setModel(model);
    FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTable->setSelectionMode(QAbstractItemView::SingleSelection);
    FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FTable->verticalHeader()->hide();
    FTable->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(FTable, 1);
    connect(FTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { ChooseRow(current.row()); });
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    auto* close = new QPushButton(tr("关闭"), this);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(close, &QPushButton::clicked, this, [this] { hide(); });
}

void TfrmCompareDlg::CompareClick(TLibraryDocument& current,
                                  const std::vector<TLibraryDocument*>& open) {
    std::vector<TLibraryDocument*> others;
    for (TLibraryDocument* doc : open)
        if (doc && doc != &current)
            others.push_back(doc);
    if (others.empty()) {
        Prompts().ShowError(tr("比较需要两个打开的文件 ！！！\n请再打开一个文件。"));
        return;
    }
    TLibraryDocument* other = others.front();
    if (others.size() > 1) {
        QStringList files;
        for (const TLibraryDocument* doc : others)
            files << QString::fromStdString(doc->FileName());
        int chosen = 0;
        if (!Prompts().ChooseItem(tr("比较"), tr("与 %1 比较的文件:").arg(FileNameText(current)),
                                  files, chosen))
            return;
        other = others[size_t(chosen)];
    }
    if (current.Busy() || other->Busy()) {
        Prompts().ShowError(tr("%1 正在运行任务，请稍后再比较 ！！！")
                                .arg(FileNameText(current.Busy() ? current : *other)));
        return;
    }
    Compare(current, *other);
}

bool TfrmCompareDlg::Compare(TLibraryDocument& a, TLibraryDocument& b) {
    if (&a == &b || a.Busy() || b.Busy() || FHold)
        return false;
    auto result = std::make_shared<TDiffResult>();
    const std::shared_ptr<TGameImages> other = b.SharedLibrary();
    QPointer<TLibraryDocument> pa(&a), pb(&b);
    // B is read on A's worker: it takes no edit until the comparison is done.
    FHold = std::make_unique<TLibraryDocument::TBusyGuard>(b);
    FRunning = pa;
    FHeld = pb;
    const bool started = a.StartJob(
        [result, other](TGameImages& library, TJobControl& control) {
            *result = DiffLibraries(library, *other, {}, [&control](int done, int total) {
                control.Report(done, total);
            });
        },
        {{}, [this, result, pa, pb](const TJobEnd& end) {
             FHold.reset();
             FRunning.clear();
             FHeld.clear();
             if (!pa || !pb)
                 return;
             if (end.Cancelled) {
                 pa->PostNote(tr("已取消比较"));
                 return;
             }
             if (end.Error) {
                 Prompts().ShowError(tr("比较失败 ！！！\n") +
                                     JobFailureText(end.Error, "compare"));
                 return;
             }
             FA = pa;
             FB = pb;
             Compared(*result);
         }});
    if (!started) {
        FHold.reset();
        FRunning.clear();
        FHeld.clear();
    }
    return started;
}

void TfrmCompareDlg::CancelFor(const TLibraryDocument& document) {
    if (FHold && FRunning && FHeld == &document)
        FRunning->CancelJob();
}

void TfrmCompareDlg::Compared(const TDiffResult& result) {
    FResult = result;
    const QString nameA = FileNameText(*FA), nameB = FileNameText(*FB);
    static_cast<TDifferenceModel*>(FModel)->SetResult(&FResult, nameA, nameB);
    const int differing = int(FResult.Differences.size());
    const std::vector<int> inA = HeldImages(FResult, FResult.CountA);
    const std::vector<int> inB = HeldImages(FResult, FResult.CountB);
    if (differing == 0) {
        hide();
        Prompts().ShowMessage(tr("两个文件相同 ！！！\n%1 和 %2 的 %3 张图片的像素、"
                                 "大小和坐标都相同。")
                                  .arg(nameA, nameB)
                                  .arg(FResult.CountA));
        return;
    }
    // What differs is selected in each tab, the first of it current.
    FA->SelectImages(inA);
    FB->SelectImages(inB);
    FA->PostNote(tr("比较：%1 张图片与 %2 不同").arg(inA.size()).arg(nameB));
    FB->PostNote(tr("比较：%1 张图片与 %2 不同").arg(inB.size()).arg(nameA));
    setWindowTitle(tr("比较: %1 - %2").arg(nameA, nameB));
    FSummary->setText(tr("A: %1，%2 张图片\nB: %3，%4 张图片\n%5 张图片不同。")
                          .arg(QString::fromStdString(FA->FileName()))
                          .arg(FResult.CountA)
                          .arg(QString::fromStdString(FB->FileName()))
                          .arg(FResult.CountB)
                          .arg(differing));
    FTable->resizeColumnsToContents();
    FitToScreen(*this);
    show();
    raise();
}

void TfrmCompareDlg::ChooseRow(int row) {
    if (row < 0 || size_t(row) >= FResult.Differences.size())
        return;
    const int index = FResult.Differences[size_t(row)].Index;
    for (TLibraryDocument* doc : {FA.data(), FB.data()}) {
        if (!doc || index >= doc->ImageCount())
            continue;
        // Within the selected differences when they are still selected, else alone.
        const std::vector<int>& chosen = doc->SelectedImages();
        if (std::binary_search(chosen.begin(), chosen.end(), index))
            doc->SelectImages(chosen, index);
        else
            doc->Select(index);
    }
}

void TfrmCompareDlg::Forget() {
    FHold.reset();
    FRunning.clear();
    FHeld.clear();
    FA.clear();
    FB.clear();
    static_cast<TDifferenceModel*>(FModel)->SetResult(nullptr, {}, {});
}

} // namespace velmora
