#include "app/status_texts.h"

#include "app/translations.h"
#include "core/file_stream.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include <vector>

namespace velmora {

namespace {

class TStatusTexts {
    Q_DECLARE_TR_FUNCTIONS(TStatusTexts)
};

// "8位色 压缩:" and its kin by the stored pixel kind; empty for kinds the formats never write.
QString KindBitsText(uint8_t pixelKind) {
    switch (pixelKind) {
    case 3:
        return TStatusTexts::tr("8位色 压缩:");
    case 4:
    case 5:
        return TStatusTexts::tr("16位色 压缩:");
    case 6:
        return TStatusTexts::tr("24位色 压缩:");
    case 7:
        return TStatusTexts::tr("32位色 压缩:");
    default:
        return {};
    }
}

QString CompressedText(int32_t dataLength) {
    return dataLength > 0 ? TStatusTexts::tr("是") : TStatusTexts::tr("否");
}

} // namespace

QString LibraryKindText(TImageType kind, int bitCount) {
    switch (kind) {
    case t_Wil:
    case t_Wis:
        return QStringLiteral("%1 %2%3")
            .arg(kind == t_Wil ? QStringLiteral("Wil") : QStringLiteral("Wis"))
            .arg(bitCount)
            .arg(bitCount < 16 ? TStatusTexts::tr("位色") : TStatusTexts::tr("位真彩"));
    case t_Wzl:
        return QStringLiteral("Wzl");
    case t_Quillrand:
        return QStringLiteral("Pak ");
    }
    return {};
}

QString PositionText(int index, int count) {
    return QStringLiteral("%1/%2").arg(index + 1).arg(count);
}

QString ImageDataText(int index, int width, int height, int x, int y) {
    return TStatusTexts::tr("序号:%1 宽:%2 高:%3 偏移坐标:%4,%5")
        .arg(CellNumberText(index))
        .arg(width)
        .arg(height)
        .arg(x)
        .arg(y);
}

QString CellNumberText(int index) {
    // "%.5d": a negative number keeps its sign in front of the zero-padded digits.
    const QString digits = QStringLiteral("%1").arg(qAbs(qint64(index)), 5, 10, QLatin1Char('0'));
    return index < 0 ? QStringLiteral("-") + digits : digits;
}

std::optional<QString> PixelFormatText(TGameImages& library, int index) {
    const bool pak = library.ImageType() == t_Quillrand;
    const int layout = library.Facts().IndexLayout;
    if (pak && layout == 0)
        return TStatusTexts::tr("Pak(1) %1位色").arg(library.BitCount());
    if (!pak && library.ImageType() != t_Wzl)
        return std::nullopt;
    const std::optional<TImageDescription> d = library.Describe(index, false);
    // An empty slot (or an image out of range) clears the pane.
    if (!d || !d->PixelKind)
        return QString();
    const QString bits = KindBitsText(uint8_t(*d->PixelKind));
    if (bits.isEmpty())
        return pak ? std::optional<QString>(QString()) : std::nullopt;
    const QString compressed = CompressedText(d->Compressed.value_or(false) ? 1 : 0);
    if (pak)
        return QStringLiteral("Pak(%1) ").arg(layout + 1) + bits + compressed;
    return QStringLiteral("Wzl ") + bits + compressed;
}

QString EditRefusalMessage(TEditRefusal refusal) {
    switch (refusal) {
    case TEditRefusal::erNone:
        return {};
    case TEditRefusal::erNotOpen:
        return TStatusTexts::tr("请先打开文件！！！");
    case TEditRefusal::erReadOnlyFormat:
        return TStatusTexts::tr("Wis文件只能修改坐标！！！");
    case TEditRefusal::erReadOnlyFile:
        return TStatusTexts::tr("文件只能读取，无法修改！！！");
    case TEditRefusal::erIndexMissing:
    case TEditRefusal::erIndexDamaged:
        return TStatusTexts::tr("索引文件丢失或损坏，请先修复！！！");
    case TEditRefusal::erFileCutShort:
        return TStatusTexts::tr("文件不完整（已被截断），无法修改！！！");
    case TEditRefusal::erSavePending:
        return TStatusTexts::tr("上次保存被中断，其日志无法完成，请先修复！！！");
    }
    return {};
}

QString EditErrorText(const std::exception& error) {
    if (dynamic_cast<const ELibraryBusy*>(&error))
        return LibraryBusyMessage();
    if (const auto* refused = dynamic_cast<const EEditRefused*>(&error))
        return EditRefusalMessage(refused->Refusal());
    // The system's own text stays after the Chinese one, for whoever needs to look it up.
    if (const auto* file = dynamic_cast<const EFileError*>(&error))
        return TStatusTexts::tr("文件读写失败：%1\n%2")
            .arg(QString::fromStdString(file->Path()), QString::fromStdString(error.what()));
    QString detail = ErrorDetailText(error.what());
    const QString prefix = TStatusTexts::tr("详细信息：");
    if (detail.startsWith(prefix))
        detail.remove(0, prefix.size());
    return TStatusTexts::tr("操作失败：") + detail;
}

namespace {

// Reasons of the commands and of the system, worded for the interface; %1, %2, %3 take the
// captured numbers and names.
struct TReasonText {
    const char* Pattern;
    const char* Text;
};
const TReasonText kReasonTexts[] = {
    {"the file does not exist", QT_TRANSLATE_NOOP("TStatusTexts", "文件不存在")},
    {"not a readable (PNG|TGA|BMP) picture",
     QT_TRANSLATE_NOOP("TStatusTexts", "不是可以读取的 %1 图片（已损坏或是其他格式）")},
    {"the library was changed by another program",
     QT_TRANSLATE_NOOP("TStatusTexts", "文件已被其他程序修改")},
    {"the library was changed by another program and cannot be read again",
     QT_TRANSLATE_NOOP("TStatusTexts", "文件已被其他程序修改，无法重新读取")},
    {"the folder does not exist", QT_TRANSLATE_NOOP("TStatusTexts", "文件夹不存在")},
    {"wrong password", QT_TRANSLATE_NOOP("TStatusTexts", "密码错误")},
    {"not a readable library.*",
     QT_TRANSLATE_NOOP("TStatusTexts", "不是可以读取的资源文件（已损坏或是其他类型）")},
    {"the file is a (\\w+) library, not (\\w+)",
     QT_TRANSLATE_NOOP("TStatusTexts", "这是 %1 文件，不是 %2 文件")},
    {"the target is the source file",
     QT_TRANSLATE_NOOP("TStatusTexts", "新文件和旧文件是同一个文件")},
    {"the library could not be created", QT_TRANSLATE_NOOP("TStatusTexts", "无法创建资源文件")},
    {"the new library does not open with its password",
     QT_TRANSLATE_NOOP("TStatusTexts", "新文件无法用它的密码打开")},
    {"the new library could not be opened", QT_TRANSLATE_NOOP("TStatusTexts", "新文件无法打开")},
    {"the new library holds (\\d+) of the (\\d+) images of the source",
     QT_TRANSLATE_NOOP("TStatusTexts", "新文件只有旧文件 %2 张图片中的 %1 张")},
    {"image (\\d+) could not be converted",
     QT_TRANSLATE_NOOP("TStatusTexts", "第 %1 张图片无法转换")},
    {"image (\\d+) was refused by the target",
     QT_TRANSLATE_NOOP("TStatusTexts", "新文件不接受第 %1 张图片")},
    {"image (\\d+) does not exist.*", QT_TRANSLATE_NOOP("TStatusTexts", "第 %1 张图片不存在")},
    {"image (\\d+) has no picture", QT_TRANSLATE_NOOP("TStatusTexts", "第 %1 张图片没有图像")},
    {"image (\\d+) \\(.*\\) is larger than a sheet of (\\d+ x \\d+)",
     QT_TRANSLATE_NOOP("TStatusTexts", "第 %1 张图片大于 %2 的图集")},
    {"the range (-?\\d+)\\.\\.(-?\\d+) is not inside the library's (\\d+) images",
     QT_TRANSLATE_NOOP("TStatusTexts", "编号 %1 到 %2 超出了文件的 %3 张图片")},
    {"the images (-?\\d+)\\.\\.(-?\\d+) have no visible pixels",
     QT_TRANSLATE_NOOP("TStatusTexts", "第 %1 到 %2 张图片没有可见的像素")},
    {"the library holds no images", QT_TRANSLATE_NOOP("TStatusTexts", "文件中没有图片")},
    {"no target folder given", QT_TRANSLATE_NOOP("TStatusTexts", "没有指定导出文件夹")},
    {"no file name given", QT_TRANSLATE_NOOP("TStatusTexts", "没有指定文件名")},
    {"no picture to import", QT_TRANSLATE_NOOP("TStatusTexts", "没有可以导入的图片")},
    {"nothing imported; the library is unchanged",
     QT_TRANSLATE_NOOP("TStatusTexts", "没有导入任何图片，文件没有改动")},
    {"(the offset \\S+ cannot be stored: )?offsets are (stored as )?16-bit values.*",
     QT_TRANSLATE_NOOP("TStatusTexts", "偏移坐标超出范围（-32768 到 32767）")},
    {"the library did not store the offset.*",
     QT_TRANSLATE_NOOP("TStatusTexts", "空图片没有偏移坐标")},
    {"the offset file could not be written", QT_TRANSLATE_NOOP("TStatusTexts", "坐标文件无法写入")},
    {"the picture could not be encoded or written",
     QT_TRANSLATE_NOOP("TStatusTexts", "图片无法编码或写入")},
    {"the picture could not be converted", QT_TRANSLATE_NOOP("TStatusTexts", "图片无法转换")},
    {"the image has no pixels", QT_TRANSLATE_NOOP("TStatusTexts", "图片没有像素")},
    {"the library refused.*", QT_TRANSLATE_NOOP("TStatusTexts", "文件拒绝了这次修改")},
    {"the atlas holds no frames", QT_TRANSLATE_NOOP("TStatusTexts", "图集中没有图片")},
    {"the frames could not be packed", QT_TRANSLATE_NOOP("TStatusTexts", "图片无法排进图集")},
    {"the sheet could not be written", QT_TRANSLATE_NOOP("TStatusTexts", "图集图片无法写入")},
    {"the sheet size must be at least 1 and the padding below it",
     QT_TRANSLATE_NOOP("TStatusTexts", "图集尺寸至少为 1，间距必须小于尺寸")},
    {"this conversion is not offered.*", QT_TRANSLATE_NOOP("TStatusTexts", "不支持这种转换")},
    {"a WIL library holds 8, 16, 24 or 32 bits per pixel",
     QT_TRANSLATE_NOOP("TStatusTexts", "Wil 文件只能是 8、16、24 或 32 位色")},
    {"no worker thread could be started", QT_TRANSLATE_NOOP("TStatusTexts", "无法启动导出线程")},
    {"damaged: the file ends inside the Pak header",
     QT_TRANSLATE_NOOP("TStatusTexts", "文件已损坏：Pak文件头不完整")},
    {"the library is not open", QT_TRANSLATE_NOOP("TStatusTexts", "没有打开文件")},
    {"WIS libraries cannot be changed.*", QT_TRANSLATE_NOOP("TStatusTexts", "Wis 文件不能修改")},
    {"the library can be opened for reading only",
     QT_TRANSLATE_NOOP("TStatusTexts", "文件只能以只读方式打开")},
    {"the index file is missing or empty.*",
     QT_TRANSLATE_NOOP("TStatusTexts", "索引文件丢失或为空，请先修复")},
    {"the index does not match the data file.*",
     QT_TRANSLATE_NOOP("TStatusTexts", "索引文件与数据文件不符，请先修复")},
    {".*[Pp]ermission denied.*", QT_TRANSLATE_NOOP("TStatusTexts", "没有权限")},
    {".*[Nn]o space left on device.*", QT_TRANSLATE_NOOP("TStatusTexts", "磁盘空间不足")},
    {".*[Rr]ead-only file system.*", QT_TRANSLATE_NOOP("TStatusTexts", "文件系统是只读的")},
    {".*[Ff]ile too large.*", QT_TRANSLATE_NOOP("TStatusTexts", "文件太大")},
    {".*[Nn]o such file or directory.*", QT_TRANSLATE_NOOP("TStatusTexts", "文件或文件夹不存在")},
};

} // namespace

QString ErrorDetailText(const std::string& detail, bool oneLine) {
    const QString original = QString::fromStdString(detail).trimmed();
    if (original.isEmpty())
        return {};
    // Text the lower layers word in Chinese (password rules, refusals), in the interface's
    // language.
    for (QChar c : original)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return CoreText(original.toStdString());
    // The reasons below are the system's and the commands' own English texts (as velmora-cli
    // prints them): an English interface shows them as they are.
    if (CurrentLanguage() == TLanguage::lgEnglish)
        return oneLine ? original : TStatusTexts::tr("详细信息：") + original;
    static const std::vector<QRegularExpression> patterns = [] {
        std::vector<QRegularExpression> list;
        for (const TReasonText& reason : kReasonTexts)
            list.emplace_back(
                QStringLiteral("^(?:(.*?): )?(?:%1)$").arg(QString::fromLatin1(reason.Pattern)));
        return list;
    }();
    for (size_t k = 0; k < patterns.size(); ++k) {
        const QRegularExpressionMatch match = patterns[k].match(original);
        if (!match.hasMatch())
            continue;
        QString text = TStatusTexts::tr(kReasonTexts[k].Text);
        for (int n = 2; n <= match.lastCapturedIndex(); ++n)
            text = text.replace(QStringLiteral("%%1").arg(n - 1), match.captured(n));
        const QString path = match.captured(1);
        if (!path.isEmpty())
            text = TStatusTexts::tr("%1：%2").arg(path, text);
        return text + (oneLine ? QStringLiteral(" (") : QStringLiteral("\n(")) + original +
               QLatin1Char(')');
    }
    return oneLine ? original : TStatusTexts::tr("详细信息：") + original;
}

QString DamageText(const TRecordCheck& check) {
    QString reason;
    switch (check.Damage) {
    case TRecordDamage::rdNone:
        return {};
    case TRecordDamage::rdTruncated:
        reason = TStatusTexts::tr("数据不完整，文件在这张图片中间结束");
        break;
    case TRecordDamage::rdUndecodable:
        reason = TStatusTexts::tr("数据无法解码");
        break;
    case TRecordDamage::rdReadError:
        reason = TStatusTexts::tr("读取失败");
        break;
    }
    if (!check.Detail.empty())
        reason += TStatusTexts::tr("（%1）").arg(QString::fromStdString(check.Detail));
    return TStatusTexts::tr("图片数据损坏: ") + reason;
}

QString LibraryBusyMessage() {
    return TStatusTexts::tr("文件正在被其他程序修改，请稍后再试！！！");
}

QString LossMessage(const TConversionPlan& plan) {
    QStringList lines;
    if (plan.AlphaLost > 0)
        lines << TStatusTexts::tr("%1 张图片的透明通道将丢失（透明像素变为黑色）")
                     .arg(plan.AlphaLost);
    if (plan.AlphaReduced > 0)
        lines << TStatusTexts::tr("%1 张图片的透明通道将以一半宽度保存").arg(plan.AlphaReduced);
    if (plan.ColoursReduced > 0)
        lines << (plan.TargetBitCount == 8 ? TStatusTexts::tr("%1 张图片的颜色将减为调色板的256色")
                                                 .arg(plan.ColoursReduced)
                                           : TStatusTexts::tr("%1 张图片的颜色将减为%2位")
                                                 .arg(plan.ColoursReduced)
                                                 .arg(plan.TargetBitCount));
    return lines.join(QLatin1Char('\n'));
}

} // namespace velmora
