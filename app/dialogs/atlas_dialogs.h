#pragma once

#include "app/dialog_parts.h"

#include <QDialog>
#include <QPointer>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace velmora {

class TfrmMain;
class TLibraryDocument;

// Dialog "导出图集": images of a document's library packed onto sprite sheets with their JSON data,
// written on the document's worker.
// Made on first use and kept, so that its choices stay between uses.
class TfrmAtlasExportDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAtlasExportDlg(QWidget* parent = nullptr);

    // The menu command: proposes the selected range (the whole library when one image is
    // selected), shows the dialog modally.
    void AtlasExportClick(TLibraryDocument& document);
    // Writes the atlas; tells the outcome.
    void BitBtnOKClick();

    QSpinBox* EditFrom() const { return FEditFrom; }
    QSpinBox* EditTo() const { return FEditTo; }
    QLineEdit* EditSheet() const { return FEditSheet; }
    QComboBox* ComboFormat() const { return FComboFormat; }
    QSpinBox* EditPadding() const { return FEditPadding; }
    QSpinBox* EditMaxSize() const { return FEditMaxSize; }

public slots:
    // While an export runs, Escape and 取消 stop it; the sheets written so far are removed.
    void reject() override;

private:
    QSpinBox* FEditFrom = nullptr;
    QSpinBox* FEditTo = nullptr;
    QLineEdit* FEditSheet = nullptr;
    QComboBox* FComboFormat = nullptr;
    QSpinBox* FEditPadding = nullptr;
    QSpinBox* FEditMaxSize = nullptr;
    QPushButton* FBitBtnOK = nullptr;
    QPushButton* FBitBtnClose = nullptr;
    QProgressBar* FProgressBar = nullptr;
    QPointer<TLibraryDocument> FDocument;
};

// Dialog "导入图集": the frames of an atlas data file imported into a document's library as one
// edit on its worker.
class TfrmAtlasImportDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAtlasImportDlg(QWidget* parent = nullptr);

    // The menu command: proposes the current image as the place, shows the dialog modally.
    void AtlasImportClick(TLibraryDocument& document);
    void BitBtnOKClick();

    QLineEdit* EditData() const { return FEditData; }
    // 0 从尾部添加 (append), 1 按编号插入 (insert before), 2 按编号覆盖 (replace from).
    QButtonGroup* Mode() const { return FMode; }
    QSpinBox* EditAt() const { return FEditAt; }
    QCheckBox* CheckCompress() const { return FCheckCompress; }

public slots:
    // While an import runs, Escape and 取消 stop it: the edit is discarded, nothing is written.
    void reject() override;

private:
    QLineEdit* FEditData = nullptr;
    QButtonGroup* FMode = nullptr;
    QSpinBox* FEditAt = nullptr;
    QCheckBox* FCheckCompress = nullptr;
    QPushButton* FBitBtnOK = nullptr;
    QPushButton* FBitBtnClose = nullptr;
    QProgressBar* FProgressBar = nullptr;
    QPointer<TLibraryDocument> FDocument;
};

// The dialogs, made on first use with the main window as parent.
TfrmAtlasExportDlg& AtlasExportDialog(TfrmMain& main);
TfrmAtlasImportDlg& AtlasImportDialog(TfrmMain& main);

} // namespace velmora
