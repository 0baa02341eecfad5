#include "app/forms.h"

#include "app/main_window.h"
#include "operations/batch_export_dialog.h"
#include "operations/batch_import_dialog.h"
#include "operations/change_password_dialog.h"
#include "operations/convert_library_dialog.h"
#include "operations/create_library_dialog.h"
#include "operations/delete_images_dialog.h"
#include "operations/import_picture_dialog.h"
#include "operations/offset_dialog.h"
#include "operations/password_list_dialog.h"

#include <cassert>

namespace velmora {

namespace {

TForms* g_Forms = nullptr;

} // namespace

TForms::TForms() = default;

TForms::~TForms() {
    // Dialogs are children of the main window: release them before it so that each is deleted
    // exactly once, in reverse order of creation.
    FrmChangePassword.reset();
    FrmPassword.reset();
    frmXYDlg.reset();
    frmOutPutDlg.reset();
    frmInPutManyDlg.reset();
    frmInPutDlg.reset();
    frmDelDlg.reset();
    FrmCreateData.reset();
    frmConvertDlg.reset();
    frmMain.reset();
    if (g_Forms == this)
        g_Forms = nullptr;
}

std::unique_ptr<TForms> CreateForms() {
    if (g_Forms)
        return nullptr;
    auto forms = std::make_unique<TForms>();
    g_Forms = forms.get();
    forms->frmMain = std::make_unique<TfrmMain>();
    QWidget* owner = forms->frmMain.get();
    forms->frmConvertDlg = std::make_unique<TfrmConvertDlg>(owner);
    forms->FrmCreateData = std::make_unique<TFrmCreateData>(owner);
    forms->frmDelDlg = std::make_unique<TfrmDelDlg>(owner);
    forms->frmInPutDlg = std::make_unique<TfrmInPutDlg>(owner);
    forms->frmInPutManyDlg = std::make_unique<TfrmInPutManyDlg>(owner);
    forms->frmOutPutDlg = std::make_unique<TfrmOutPutDlg>(owner);
    forms->frmXYDlg = std::make_unique<TfrmXYDlg>(owner);
    forms->FrmPassword = std::make_unique<TFrmPassword>(owner);
    forms->FrmChangePassword = std::make_unique<TFrmChangePassword>(owner);
    return forms;
}

TForms& Forms() {
    assert(g_Forms);
    return *g_Forms;
}

bool FormsCreated() {
    return g_Forms != nullptr;
}

} // namespace velmora
