#include "app/dialogs/export_picture_dialog.h"

#include "app/status_texts.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "core/utils.h"
#include "operations/export_picture.h"

#include <QString>

#include <string>

namespace velmora {

namespace {

// The save dialog's last file name and type, kept for the whole run so that the dialog reopens in
// the folder, and with the type, of the last export.
std::string g_SaveDialog1FileName;
int g_SaveDialog1FilterIndex = 0;
TExportChoice g_Export;

TImageFormat FormatOfFilter(int filterIndex) {
    switch (filterIndex) {
    case 0:
        return ifPNG;
    case 2:
        return ifTGA;
    default:
        return ifBMP;
    }
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

const TExportChoice& LastExportChoice() {
    return g_Export;
}

std::string SaveDialog1TypeChange(int filterIndex, const std::string& folder, int index) {
    g_Export.Format = filterIndex;
    if (filterIndex < 0 || filterIndex > 2)
        return {};
    g_Export.Target = WithSeparator(folder) + ExportFileName(index, FormatOfFilter(filterIndex));
    return g_Export.Target;
}

void ToolButtonSaveBMPClick(TfrmMain& main) {
    if (!g_Images || g_Busy)
        return;
    TBusyGuard busy;
    const TDrawGrid* grid = main.DrawGrid();
    const int index = grid->Row() * grid->ColCount() + grid->Col();
    if (index < 0 || index >= g_Images->ImageCount())
        return;
    const std::string folder = ExtractFilePath(g_SaveDialog1FileName);
    const std::string proposed = folder + FileNameWithoutExt(ExportFileName(index, ifPNG));
    g_Export.Format = g_SaveDialog1FilterIndex;
    g_Export.Target = folder + ExportFileName(index, FormatOfFilter(g_SaveDialog1FilterIndex));
    int filterIndex = g_SaveDialog1FilterIndex;
    const QString chosen =
        Prompts().SaveFileName(QStringLiteral("保存为图片文件"),
                               QStringLiteral("PNG 文件|*.PNG|BMP 文件|*.BMP|TGA 文件|*.TGA"),
                               QString::fromStdString(proposed), &filterIndex,
                               [index](int type, const QString& shownFolder) {
                                   return QString::fromStdString(SaveDialog1TypeChange(
                                       type, shownFolder.toStdString(), index));
                               });
    if (chosen.isEmpty())
        return;
    g_SaveDialog1FileName = chosen.toStdString();
    if (filterIndex >= 0 && filterIndex <= 2)
        g_SaveDialog1FilterIndex = filterIndex;
    // The name typed in the dialog is not used: the picture is always named after its index, in
    // the folder the dialog ended in.
    const TImageFormat format = FormatOfFilter(g_SaveDialog1FilterIndex);
    const std::string target = ExtractFilePath(g_SaveDialog1FileName);
    g_Export.Format = g_SaveDialog1FilterIndex;
    g_Export.Target = target + ExportFileName(index, format);
    const TPicture* picture = g_Images->GetBitmap(index);
    if (!picture)
        return;
    const bool pixelBuffer = picture->AsDIB() != nullptr;
    const TExportImageResult result = ExportImage(*g_Images, index, target, format);
    if (!result.Written) {
        QString text = QStringLiteral("图片导出失败 ！！！");
        if (!result.Error.empty())
            text += QStringLiteral("\n%1: %2")
                        .arg(QString::fromStdString(result.FileName),
                             ErrorDetailText(result.Error, true));
        Prompts().ShowError(text);
    } else if (format == ifBMP && pixelBuffer) {
        Prompts().ShowMessage(QStringLiteral("图片导出成功！！！"));
    } else {
        Prompts().ShowMessage(QStringLiteral("图片导出成功 ！！！"));
    }
}

} // namespace velmora
