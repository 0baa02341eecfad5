#pragma once

#include "app/dialog_parts.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace velmora {

class TfrmMain;

// Dialog "导出图集": images of the open library packed onto sprite sheets with their JSON data.
// Made on first use and kept, so that its choices stay between uses.
class TfrmAtlasExportDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAtlasExportDlg(QWidget* parent = nullptr);

    // The menu command: proposes the range of the whole library, shows the dialog modally.
    void AtlasExportClick();
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
    TCancellableJob FJob;
};

// Dialog "导入图集": the frames of an atlas data file imported into the open library as one edit.
class TfrmAtlasImportDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAtlasImportDlg(QWidget* parent = nullptr);

    // The menu command: proposes the selected image as the place, shows the dialog modally.
    void AtlasImportClick();
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
    TCancellableJob FJob;
};

// The dialogs, made on first use with the main window as parent.
TfrmAtlasExportDlg& AtlasExportDialog(TfrmMain& main);
TfrmAtlasImportDlg& AtlasImportDialog(TfrmMain& main);

// Gives the batch import and batch export buttons a drop-down menu with 导入图集 and 导出图集
// (the buttons' own click stays the batch command).
void InstallAtlasMenus(TfrmMain& main);

} // namespace velmora
