#include "app/forms.h"

#include "app/main_window.h"
#include "app/dialogs/batch_export_dialog.h"
#include "app/dialogs/batch_import_dialog.h"
#include "app/dialogs/change_password_dialog.h"
#include "app/dialogs/convert_library_dialog.h"
#include "app/dialogs/create_library_dialog.h"
#include "app/dialogs/delete_images_dialog.h"
#include "app/dialogs/import_picture_dialog.h"
#include "app/dialogs/offset_dialog.h"
#include "app/dialogs/password_list_dialog.h"

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
