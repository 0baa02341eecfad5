#pragma once

#include <QFont>
#include <QString>

namespace velmora {

// The family the window's Chinese texts are set in: "宋体" where it is installed, else the CJK
// font the setup script installs (WenQuanYi Micro Hei), else whatever the system offers for
// Chinese.
QString InterfaceFontFamily();

// The window font: InterfaceFontFamily, 12 pixels high.
QFont InterfaceFont();

} // namespace velmora
