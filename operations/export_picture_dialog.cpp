#include "operations/export_picture_dialog.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "core/utils.h"
#include "operations/export_picture.h"

#include <QString>

#include <string>

namespace velmora {

namespace {

// The save dialog's last file name and type (0 PNG, 1 BMP, 2 TGA), kept for the whole run so that
// the dialog reopens in the folder of the last export.
std::string g_SaveDialog1FileName;
int g_SaveDialog1FilterIndex = 0;

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

} // namespace

void ToolButtonSaveBMPClick(TfrmMain& main) {
    if (!g_Images || g_Busy)
        return;
    TBusyGuard busy;
    const TDrawGrid* grid = main.DrawGrid();
    const int index = grid->Row() * grid->ColCount() + grid->Col();
    if (index >= g_Images->ImageCount())
        return;
    const std::string proposed =
        ExtractFilePath(g_SaveDialog1FileName) + FileNameWithoutExt(ExportFileName(index, ifPNG));
    int filterIndex = g_SaveDialog1FilterIndex;
    const QString chosen =
        Prompts().SaveFileName(QStringLiteral("保存为图片文件"),
                               QStringLiteral("PNG 文件|*.PNG|BMP 文件|*.BMP|TGA 文件|*.TGA"),
                               QString::fromStdString(proposed), &filterIndex);
    if (chosen.isEmpty())
        return;
    g_SaveDialog1FileName = chosen.toStdString();
    g_SaveDialog1FilterIndex = filterIndex;
    const TImageFormat format = FormatOfFilter(filterIndex);
    const TPicture* picture = g_Images->GetBitmap(index);
    if (!picture)
        return;
    const bool pixelBuffer = picture->AsDIB() != nullptr;
    const TExportImageResult result =
        ExportImage(*g_Images, index, ExtractFilePath(g_SaveDialog1FileName), format);
    if (!result.Written) {
        QString text = QStringLiteral("图片导出失败 ！！！");
        if (!result.Error.empty())
            text += QStringLiteral("\n%1").arg(QString::fromStdString(result.Error));
        Prompts().ShowMessage(text);
    } else if (format == ifBMP && pixelBuffer) {
        Prompts().ShowMessage(QStringLiteral("图片导出成功！！！"));
    } else {
        Prompts().ShowMessage(QStringLiteral("图片导出成功 ！！！"));
    }
}

} // namespace velmora
