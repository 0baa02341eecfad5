#pragma once

#include <memory>

namespace velmora {

class TfrmMain;
class TfrmConvertDlg;
class TFrmCreateData;
class TfrmDelDlg;
class TfrmInPutDlg;
class TfrmInPutManyDlg;
class TfrmOutPutDlg;
class TfrmXYDlg;
class TFrmPassword;
class TFrmChangePassword;

// The program's windows. Each is created once at start, in declaration order, and lives until the
// process ends; the dialogs keep their values between uses. Destroyed in reverse order, so the
// main window goes last.
struct TForms {
    std::unique_ptr<TfrmMain> frmMain;
    std::unique_ptr<TfrmConvertDlg> frmConvertDlg;
    std::unique_ptr<TFrmCreateData> FrmCreateData;
    std::unique_ptr<TfrmDelDlg> frmDelDlg;
    std::unique_ptr<TfrmInPutDlg> frmInPutDlg;
    std::unique_ptr<TfrmInPutManyDlg> frmInPutManyDlg;
    std::unique_ptr<TfrmOutPutDlg> frmOutPutDlg;
    std::unique_ptr<TfrmXYDlg> frmXYDlg;
    std::unique_ptr<TFrmPassword> FrmPassword;
    std::unique_ptr<TFrmChangePassword> FrmChangePassword;

    TForms();
    ~TForms();
    TForms(const TForms&) = delete;
    TForms& operator=(const TForms&) = delete;
};

// Creates the main window and the nine dialogs in their fixed order and makes them reachable
// through Forms(). A second call is refused (null).
std::unique_ptr<TForms> CreateForms();
// The windows created by CreateForms; only valid while they exist.
TForms& Forms();
// True while the windows exist.
bool FormsCreated();

} // namespace velmora
