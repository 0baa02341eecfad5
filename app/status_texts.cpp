#include "app/status_texts.h"

#include "core/file_stream.h"

#include "formats/pak.h"
#include "formats/wzl.h"

#include <QRegularExpression>
#include <QStringList>

#include <vector>

namespace velmora {

namespace {

// "8位色 压缩:" and its kin by the stored pixel kind; empty for kinds the formats never write.
QString KindBitsText(uint8_t pixelKind) {
    switch (pixelKind) {
    case 3:
        return QStringLiteral("8位色 压缩:");
    case 4:
    case 5:
        return QStringLiteral("16位色 压缩:");
    case 6:
        return QStringLiteral("24位色 压缩:");
    case 7:
        return QStringLiteral("32位色 压缩:");
    default:
        return {};
    }
}

QString CompressedText(int32_t dataLength) {
    return dataLength > 0 ? QStringLiteral("是") : QStringLiteral("否");
}

} // namespace

QString LibraryKindText(TImageType kind, int bitCount) {
    switch (kind) {
    case t_Wil:
    case t_Wis:
        return QStringLiteral("%1 %2%3")
            .arg(kind == t_Wil ? QStringLiteral("Wil") : QStringLiteral("Wis"))
            .arg(bitCount)
            .arg(bitCount < 16 ? QStringLiteral("位色") : QStringLiteral("位真彩"));
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
    return QStringLiteral("序号:%1 宽:%2 高:%3 偏移坐标:%4,%5")
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
    const auto* pak = dynamic_cast<const TQuillrand*>(&library);
    if (pak && pak->bfType() == 0)
        return QStringLiteral("Pak(1) %1位色").arg(library.BitCount());
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
        return QStringLiteral("Pak(%1) ").arg(int(pak->bfType()) + 1) + bits + compressed;
    return QStringLiteral("Wzl ") + bits + compressed;
}

QString EditRefusalMessage(TEditRefusal refusal) {
    switch (refusal) {
    case TEditRefusal::erNone:
        return {};
    case TEditRefusal::erNotOpen:
        return QStringLiteral("请先打开文件！！！");
    case TEditRefusal::erReadOnlyFormat:
        return QStringLiteral("Wis文件只能修改坐标！！！");
    case TEditRefusal::erReadOnlyFile:
        return QStringLiteral("文件只能读取，无法修改！！！");
    case TEditRefusal::erIndexMissing:
    case TEditRefusal::erIndexDamaged:
        return QStringLiteral("索引文件丢失或损坏，请先修复！！！");
    case TEditRefusal::erFileCutShort:
        return QStringLiteral("文件不完整（已被截断），无法修改！！！");
    case TEditRefusal::erSavePending:
        return QStringLiteral("上次保存被中断，其日志无法完成，请先修复！！！");
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
        return QStringLiteral("文件读写失败：%1\n%2")
            .arg(QString::fromStdString(file->Path()), QString::fromStdString(error.what()));
    QString detail = ErrorDetailText(error.what());
    detail.remove(QRegularExpression(QStringLiteral("^详细信息：")));
    return QStringLiteral("操作失败：") + detail;
}

namespace {

// Reasons of the commands and of the system, in Chinese; %1, %2, %3 take the captured numbers
// and names.
struct TReasonText {
    const char* Pattern;
    const char* Text;
};
const TReasonText kReasonTexts[] = {
    {"the file does not exist", "文件不存在"},
    {"not a readable (PNG|TGA|BMP) picture", "不是可以读取的 %1 图片（已损坏或是其他格式）"},
    {"the library was changed by another program", "文件已被其他程序修改"},
    {"the library was changed by another program and cannot be read again",
     "文件已被其他程序修改，无法重新读取"},
    {"the folder does not exist", "文件夹不存在"},
    {"wrong password", "密码错误"},
    {"not a readable library.*", "不是可以读取的资源文件（已损坏或是其他类型）"},
    {"the file is a (\\w+) library, not (\\w+)", "这是 %1 文件，不是 %2 文件"},
    {"the target is the source file", "新文件和旧文件是同一个文件"},
    {"the library could not be created", "无法创建资源文件"},
    {"the new library does not open with its password", "新文件无法用它的密码打开"},
    {"the new library could not be opened", "新文件无法打开"},
    {"the new library holds (\\d+) of the (\\d+) images of the source",
     "新文件只有旧文件 %2 张图片中的 %1 张"},
    {"image (\\d+) could not be converted", "第 %1 张图片无法转换"},
    {"image (\\d+) was refused by the target", "新文件不接受第 %1 张图片"},
    {"image (\\d+) does not exist.*", "第 %1 张图片不存在"},
    {"image (\\d+) has no picture", "第 %1 张图片没有图像"},
    {"image (\\d+) \\(.*\\) is larger than a sheet of (\\d+ x \\d+)", "第 %1 张图片大于 %2 的图集"},
    {"the range (-?\\d+)\\.\\.(-?\\d+) is not inside the library's (\\d+) images",
     "编号 %1 到 %2 超出了文件的 %3 张图片"},
    {"the images (-?\\d+)\\.\\.(-?\\d+) have no visible pixels",
     "第 %1 到 %2 张图片没有可见的像素"},
    {"the library holds no images", "文件中没有图片"},
    {"no target folder given", "没有指定导出文件夹"},
    {"no file name given", "没有指定文件名"},
    {"no picture to import", "没有可以导入的图片"},
    {"nothing imported; the library is unchanged", "没有导入任何图片，文件没有改动"},
    {"(the offset \\S+ cannot be stored: )?offsets are (stored as )?16-bit values.*",
     "偏移坐标超出范围（-32768 到 32767）"},
    {"the library did not store the offset.*", "空图片没有偏移坐标"},
    {"the offset file could not be written", "坐标文件无法写入"},
    {"the picture could not be encoded or written", "图片无法编码或写入"},
    {"the picture could not be converted", "图片无法转换"},
    {"the image has no pixels", "图片没有像素"},
    {"the library refused.*", "文件拒绝了这次修改"},
    {"the atlas holds no frames", "图集中没有图片"},
    {"the frames could not be packed", "图片无法排进图集"},
    {"the sheet could not be written", "图集图片无法写入"},
    {"the sheet size must be at least 1 and the padding below it",
     "图集尺寸至少为 1，间距必须小于尺寸"},
    {"this conversion is not offered.*", "不支持这种转换"},
    {"a WIL library holds 8, 16, 24 or 32 bits per pixel", "Wil 文件只能是 8、16、24 或 32 位色"},
    {"no worker thread could be started", "无法启动导出线程"},
    {"damaged: the file ends inside the Pak header", "文件已损坏：Pak文件头不完整"},
    {"the library is not open", "没有打开文件"},
    {"WIS libraries cannot be changed.*", "Wis 文件不能修改"},
    {"the library can be opened for reading only", "文件只能以只读方式打开"},
    {"the index file is missing or empty.*", "索引文件丢失或为空，请先修复"},
    {"the index does not match the data file.*", "索引文件与数据文件不符，请先修复"},
    {".*[Pp]ermission denied.*", "没有权限"},
    {".*[Nn]o space left on device.*", "磁盘空间不足"},
    {".*[Rr]ead-only file system.*", "文件系统是只读的"},
    {".*[Ff]ile too large.*", "文件太大"},
    {".*[Nn]o such file or directory.*", "文件或文件夹不存在"},
};

} // namespace

QString ErrorDetailText(const std::string& detail, bool oneLine) {
    const QString original = QString::fromStdString(detail).trimmed();
    if (original.isEmpty())
        return {};
    // Text that is Chinese already (password rules, refusals) stands as it is.
    for (QChar c : original)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return original;
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
        QString text = QString::fromUtf8(kReasonTexts[k].Text);
        for (int n = 2; n <= match.lastCapturedIndex(); ++n)
            text = text.replace(QStringLiteral("%%1").arg(n - 1), match.captured(n));
        const QString path = match.captured(1);
        if (!path.isEmpty())
            text = path + QStringLiteral("：") + text;
        return text + (oneLine ? QStringLiteral(" (") : QStringLiteral("\n(")) + original +
               QLatin1Char(')');
    }
    return oneLine ? original : QStringLiteral("详细信息：") + original;
}

QString DamageText(const TRecordCheck& check) {
    QString reason;
    switch (check.Damage) {
    case TRecordDamage::rdNone:
        return {};
    case TRecordDamage::rdTruncated:
        reason = QStringLiteral("数据不完整，文件在这张图片中间结束");
        break;
    case TRecordDamage::rdUndecodable:
        reason = QStringLiteral("数据无法解码");
        break;
    case TRecordDamage::rdReadError:
        reason = QStringLiteral("读取失败");
        break;
    }
    if (!check.Detail.empty())
        reason += QStringLiteral("（%1）").arg(QString::fromStdString(check.Detail));
    return QStringLiteral("图片数据损坏: ") + reason;
}

QString LibraryBusyMessage() {
    return QStringLiteral("文件正在被其他程序修改，请稍后再试！！！");
}

QString LossMessage(const TConversionPlan& plan) {
    QStringList lines;
    if (plan.AlphaLost > 0)
        lines
            << QStringLiteral("%1 张图片的透明通道将丢失（透明像素变为黑色）").arg(plan.AlphaLost);
    if (plan.AlphaReduced > 0)
        lines << QStringLiteral("%1 张图片的透明通道将以一半宽度保存").arg(plan.AlphaReduced);
    if (plan.ColoursReduced > 0)
        lines
            << (plan.TargetBitCount == 8
                    ? QStringLiteral("%1 张图片的颜色将减为调色板的256色").arg(plan.ColoursReduced)
                    : QStringLiteral("%1 张图片的颜色将减为%2位")
                          .arg(plan.ColoursReduced)
                          .arg(plan.TargetBitCount));
    return lines.join(QLatin1Char('\n'));
}

} // namespace velmora
