#pragma once
// The program's plain values in Qt's forms: UTF-8 strings as QString and the
// settings colours (0x00BBGGRR) as Qt colours. Qt Gui only.

#include <QColor>
#include <QString>
#include <cstdint>
#include <string>

namespace kr40 {

inline QString ToQString(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Qt pixel value (0xAARRGGBB, opaque) of a settings colour.
inline QRgb ToRgb(std::uint32_t bgr)
{
    return qRgb(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

inline QColor ToQColor(std::uint32_t bgr)
{
    return QColor(ToRgb(bgr));
}

}  // namespace kr40
