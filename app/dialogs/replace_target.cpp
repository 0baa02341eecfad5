#include "app/dialogs/replace_target.h"

#include "app/library_document.h"
#include "app/prompts.h"
#include "core/file_stream.h"
#include "operations/library_kind.h"

#include <QCoreApplication>
#include <QString>

namespace velmora {

namespace {

class TReplaceTarget {
    Q_DECLARE_TR_FUNCTIONS(TReplaceTarget)
};

// "其中有 N 张图片", or what keeps the count from being read.
QString ContentText(const std::string& path, const std::string& password) {
    try {
        TOpenResult opened = OpenLibraryFile(path);
        if (opened.Status == TOpenStatus::osWrongPassword && !password.empty())
            opened = OpenLibraryFile(path, password);
        if (opened.Opened())
            return TReplaceTarget::tr("其中有 %1 张图片").arg(opened.Library->ImageCount());
        if (opened.Status == TOpenStatus::osWrongPassword)
            return TReplaceTarget::tr("密码未知，无法读取其中的图片数");
    } catch (...) {
    }
    return TReplaceTarget::tr("它不是可以读取的资源文件");
}

} // namespace

bool MayReplaceLibrary(TOpenLibraries& open, const std::string& target,
                       const std::string& password) {
    const QString name = QString::fromStdString(target);
    if (TLibraryDocument* document = open.DocumentOf(target)) {
        const QString question =
            TReplaceTarget::tr("目标文件已打开：%1（%2 张图片）\n它会被新文件替换，要先关闭它吗？")
                .arg(name)
                .arg(document->ImageCount());
        if (!Prompts().Confirm(question))
            return false;
        if (!open.CloseDocument(*document)) {
            Prompts().ShowError(
                TReplaceTarget::tr("目标文件已打开，正在处理中，请稍后再试 ！！！\n%1").arg(name));
            return false;
        }
        return true;
    }
    if (!FileExists(target))
        return true;
    return Prompts().Confirm(TReplaceTarget::tr("目标文件已存在：%1\n%2，要用新文件替换它吗？")
                                 .arg(name, ContentText(target, password)));
}

} // namespace velmora
