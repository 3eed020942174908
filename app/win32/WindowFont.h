// The font of the program's windows and boxes.
#pragma once

#include <functional>
#include <string>

#include "app/win32/Handles.h"

namespace win32ui {

// The layouts' pixel rectangles are made for MS Sans Serif at 8 points on a 96-dpi screen, 11
// pixels high; the font keeps that height whatever the screen reports, so that a system that
// gives the program a larger resolution (Windows 7's scaling of 125 %) does not cut the texts.
inline constexpr int kWindowFontPixels = 11;

// A face and character set to ask the font mapper for.
struct TFontChoice {
    std::wstring Face;
    BYTE Charset = DEFAULT_CHARSET;
    bool operator==(const TFontChoice&) const = default;
};

// What the mapper makes of a request: the face it takes, and whether that font shows Cyrillic.
struct TMappedFace {
    std::wstring Face;
    bool Cyrillic = false;
};
using TFontProbe = std::function<TMappedFace(const TFontChoice& request)>;

// MS Sans Serif is a bitmap font of the system's code page: asked for with the default character
// set it has Cyrillic letters only where that code page is 1251. So, in this order:
// - MS Sans Serif with RUSSIAN_CHARSET, where the mapper gives MS Sans Serif for it (a system
//   with a Cyrillic MS Sans Serif);
// - MS Sans Serif with the default character set, where that font shows Cyrillic all the same
//   (a TrueType MS Sans Serif with Cyrillic glyphs, as Wine's own);
// - otherwise Microsoft Sans Serif with RUSSIAN_CHARSET: MS Sans Serif's TrueType twin (the same
//   metrics), with Cyrillic on every Windows since 2000, whatever the system's code page. Asked
//   for RUSSIAN_CHARSET under the name MS Sans Serif, the mapper would take any font that has it;
// - where the twin is missing too (Wine), MS Sans Serif with the default character set.
TFontChoice ChooseWindowFont(const TFontProbe& probe);

// The choice on this system, probed through the font mapper (made once).
const TFontChoice& WindowFontChoice();

// The window's font at 8 points with that face and character set.
TFont MakeWindowFont(int weight);

} // namespace win32ui
