#pragma once
// The grid's one door to colour values: every property colour is a
// TGridColor and every paint resolves it here, at use, through the current
// system colour scheme.

#include "platform/colors/SysColors.h"

#include <QColor>

using TGridColor = TColor;

namespace gridcolor {

// Win32 system colour indices the grid uses.
inline constexpr int kWindow = COLOR_WINDOW;
inline constexpr int kWindowFrame = COLOR_WINDOWFRAME;
inline constexpr int kWindowText = COLOR_WINDOWTEXT;
inline constexpr int kHighlight = COLOR_HIGHLIGHT;
inline constexpr int kHighlightText = COLOR_HIGHLIGHTTEXT;
inline constexpr int kBtnFace = COLOR_BTNFACE;
inline constexpr int kBtnShadow = COLOR_BTNSHADOW;
inline constexpr int kBtnText = COLOR_BTNTEXT;
inline constexpr int kBtnHighlight = COLOR_BTNHIGHLIGHT;
inline constexpr int k3DDkShadow = COLOR_3DDKSHADOW;
inline constexpr int k3DLight = COLOR_3DLIGHT;

} // namespace gridcolor

// Resolves through the scheme in force now; none resolves to black.
[[nodiscard]] inline QColor ResolveColor(TGridColor color)
{
    const QColor c = ColorToRGB(color);
    return c.isValid() ? c : QColor(0, 0, 0);
}

// The colour of system index `index` in the scheme in force now.
[[nodiscard]] inline QColor GridSysColor(int index) { return GetSysColor(index); }
