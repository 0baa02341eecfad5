#include "app/dialogs/replace_target.h"

#include "app/library_document.h"
#include "app/prompts.h"
#include "core/file_stream.h"
#include "operations/library_kind.h"

#include <QString>

namespace velmora {

namespace {

// "其中有 N 张图片", or what keeps the count from being read.
QString ContentText(const std::string& path, const std::string& password) {
    try {
        TOpenResult opened = OpenLibraryFile(path);
        if (opened.Status == TOpenStatus::osWrongPassword && !password.empty())
            opened = OpenLibraryFile(path, password);
        if (opened.Opened())
            return QStringLiteral("其中有 %1 张图片").arg(opened.Library->ImageCount());
        if (opened.Status == TOpenStatus::osWrongPassword)
            return QStringLiteral("密码未知，无法读取其中的图片数");
    } catch (...) {
    }
    return QStringLiteral("它不是可以读取的资源文件");
}

} // namespace

bool MayReplaceLibrary(TOpenLibraries& open, const std::string& target,
                       const std::string& password) {
    const QString name = QString::fromStdString(target);
    if (TLibraryDocument* document = open.DocumentOf(target)) {
        const QString question =
            QStringLiteral("目标文件已打开：%1（%2 张图片）\n它会被新文件替换，要先关闭它吗？")
                .arg(name)
                .arg(document->ImageCount());
        if (!Prompts().Confirm(question))
            return false;
        if (!open.CloseDocument(*document)) {
            Prompts().ShowError(
                QStringLiteral("目标文件已打开，正在处理中，请稍后再试 ！！！\n%1").arg(name));
            return false;
        }
        return true;
    }
    if (!FileExists(target))
        return true;
    return Prompts().Confirm(QStringLiteral("目标文件已存在：%1\n%2，要用新文件替换它吗？")
                                 .arg(name, ContentText(target, password)));
}

} // namespace velmora
