#include "app/status_texts.h"

#include "core/file_stream.h"

#include "formats/pak.h"
#include "formats/wzl.h"

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
    return dataLength > 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
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
    return QStringLiteral("操作失败：") + QString::fromStdString(error.what());
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

} // namespace velmora
