#pragma once

#include <QFont>
#include <QString>

// Fonts of the skinned controls. The dialogs were designed with Windows faces ("宋体",
// "微软雅黑", "MS Shell Dlg") that a Linux desktop does not have; a missing face would fall back
// to a Latin font without Chinese glyphs, so every control asks for its font through here.
namespace vortane::ui {

// The face to use for a requested one: the face itself when it is installed, otherwise a
// CJK-capable face ("WenQuanYi Micro Hei" when installed, else the application's default).
QString MapFontFace(const QString& face);

// A font with the mapped face, a height in pixels (a Windows LOGFONT height; a negative height
// counts as its absolute value) and a Windows weight (100..900; 0 means normal).
QFont MakeUiFont(const QString& face, int pixelHeight, int weight = 400);

// The Qt weight for a Windows weight (400 normal, 700 bold).
QFont::Weight WeightFromWindows(int weight);

}  // namespace vortane::ui
