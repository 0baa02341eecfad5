#include "app/status_texts.h"

#include "formats/image_info.h"
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

std::optional<QString> PixelFormatText(const TGameImages& library, int index) {
    if (const auto* pak = dynamic_cast<const TQuillrand*>(&library)) {
        if (pak->bfType() == 0)
            return QStringLiteral("Pak(1) %1位色").arg(library.BitCount());
        const auto header = pak->GetImageInfo(index);
        if (!header || header->size() < size_t(TImageInfo::Size))
            return QString();
        const TImageInfo info = TImageInfo::Read(header->data());
        const QString bits = KindBitsText(info.btPixelKind);
        if (bits.isEmpty())
            return QString();
        return QStringLiteral("Pak(%1) ").arg(int(pak->bfType()) + 1) + bits +
               CompressedText(info.nDataLength);
    }
    if (const auto* wzl = dynamic_cast<const TWzl*>(&library)) {
        const std::optional<TImageInfo> info = wzl->GetImageInfo(index);
        if (!info)
            return QString();
        const QString bits = KindBitsText(info->btPixelKind);
        if (bits.isEmpty())
            return std::nullopt;
        return QStringLiteral("Wzl ") + bits + CompressedText(info->nDataLength);
    }
    return std::nullopt;
}

} // namespace velmora
