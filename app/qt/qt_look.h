// The window's look in Qt terms: Windows colour values as QColor, and the
// window font with its substitute.
#pragma once

#include <QColor>
#include <QFont>

#include "form/win_colour.h"

namespace sorabeku {

// The one conversion of a Windows colour value (0x00BBGGRR) to a QColor.
QColor ToQColor(WinColour colour);

// The design's font family; where it is not installed Qt substitutes
// IPAPGothic (see InstallFontSubstitutes).
inline constexpr const char* kWindowFontFamily = "ＭＳ Ｐゴシック";

// Registers IPAPGothic (then IPAGothic) as the substitute for the design's
// font when that font is not installed. Call once after the application.
void InstallFontSubstitutes();

// "ＭＳ Ｐゴシック" at 12 pixels, regular or bold; at a window scale other
// than 1 that many times larger.
QFont WindowFont(bool bold = false, double scale = 1.0);

// A length of the 1x design at `scale`, in whole pixels.
int Scaled(int length, double scale);

}  // namespace sorabeku
