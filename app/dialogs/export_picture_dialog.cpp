#include "app/dialogs/export_picture_dialog.h"

#include "app/status_texts.h"
#include "app/library_document.h"
#include "app/prompts.h"
#include "core/utils.h"
#include "files/placements.h"
#include "operations/export_picture.h"

#include <QCoreApplication>
#include <QString>

#include <filesystem>
#include <string>

namespace velmora {

namespace {

class TExportPicture {
    Q_DECLARE_TR_FUNCTIONS(TExportPicture)
};

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

void ToolButtonSaveBMPClick(TLibraryDocument& document) {
    if (document.Busy())
        return;
    const int index = document.Current();
    if (index < 0 || index >= document.ImageCount())
        return;
    TLibraryDocument::TBusyGuard busy(document);
    TGameImages& library = document.Library();
    const std::string folder = ExtractFilePath(g_SaveDialog1FileName);
    const std::string proposed = folder + FileNameWithoutExt(ExportFileName(index, ifPNG));
    g_Export.Format = g_SaveDialog1FilterIndex;
    g_Export.Target = folder + ExportFileName(index, FormatOfFilter(g_SaveDialog1FilterIndex));
    int filterIndex = g_SaveDialog1FilterIndex;
    const QString chosen =
        Prompts().SaveFileName(TExportPicture::tr("保存为图片文件"),
                               TExportPicture::tr("PNG 文件|*.PNG|BMP 文件|*.BMP|TGA 文件|*.TGA"),
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
    const TPicture* picture = library.GetBitmap(index);
    if (!picture)
        return;
    const bool pixelBuffer = picture->AsDIB() != nullptr;
    TExportImageResult result = ExportImage(library, index, target, format);
    if (result.Written) {
        // The offset goes beside the picture, as the batch export writes it.
        std::error_code ec;
        std::filesystem::create_directories(WithSeparator(target) + kPlacementsFolder, ec);
        const std::string placement = PlacementFileOf(result.FileName);
        if (ec || !WritePlacement(placement, library.GetPoint(index))) {
            result.Written = false;
            result.FileName = placement;
            result.Error = "the offset file could not be written";
        }
    }
    if (!result.Written) {
        QString text = TExportPicture::tr("图片导出失败 ！！！");
        if (!result.Error.empty())
            text += QStringLiteral("\n%1: %2")
                        .arg(QString::fromStdString(result.FileName),
                             ErrorDetailText(result.Error, true));
        Prompts().ShowError(text);
    } else if (format == ifBMP && pixelBuffer) {
        Prompts().ShowMessage(TExportPicture::tr("图片导出成功！！！"));
    } else {
        Prompts().ShowMessage(TExportPicture::tr("图片导出成功 ！！！"));
    }
}

} // namespace velmora
