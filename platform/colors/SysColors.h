#pragma once
// Colour values: an RGB value, a reference to a system colour by index, or
// none. A system colour is resolved through the colour scheme in force at
// the moment of use, never when the value is made, so a scheme change shows
// at the next paint or export.
//
// Layout of the 32-bit value (kept so values survive a round trip through
// Win32-style storage): an RGB colour is 0x00BBGGRR (red in the low byte), a
// system colour is 0x80000000 | index, none is 0x1FFFFFFF.
//
// The scheme is process-wide. By default it follows the desktop palette of
// the running QGuiApplication (the classic scheme without one); tests pin it
// with InstallClassicScheme() and change single entries with SetSysColor().
// Use from the user-interface thread; the store itself is mutex-guarded.

#include <QColor>

#include <cstdint>

// Win32 system colour indices. Index 25 is unused and resolves to black,
// like every index outside 0..30.
enum TSysColorIndex : int {
    COLOR_SCROLLBAR = 0,
    COLOR_BACKGROUND = 1,
    COLOR_ACTIVECAPTION = 2,
    COLOR_INACTIVECAPTION = 3,
    COLOR_MENU = 4,
    COLOR_WINDOW = 5,
    COLOR_WINDOWFRAME = 6,
    COLOR_MENUTEXT = 7,
    COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9,
    COLOR_ACTIVEBORDER = 10,
    COLOR_INACTIVEBORDER = 11,
    COLOR_APPWORKSPACE = 12,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_INACTIVECAPTIONTEXT = 19,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
    COLOR_INFOTEXT = 23,
    COLOR_INFOBK = 24,
    COLOR_HOTLIGHT = 26,
    COLOR_GRADIENTACTIVECAPTION = 27,
    COLOR_GRADIENTINACTIVECAPTION = 28,
    COLOR_MENUHILIGHT = 29,
    COLOR_MENUBAR = 30,
};

inline constexpr int kSysColorCount = 31;

class TColor {
public:
    static constexpr std::uint32_t kNoneValue = 0x1FFFFFFF;
    static constexpr std::uint32_t kSystemFlag = 0x80000000;

    // Default-constructed colour is none.
    constexpr TColor() = default;

    [[nodiscard]] static constexpr TColor Rgb(int r, int g, int b)
    {
        return TColor((std::uint32_t(b & 0xFF) << 16) | (std::uint32_t(g & 0xFF) << 8) | std::uint32_t(r & 0xFF));
    }
    // An invalid QColor gives none; alpha is dropped.
    [[nodiscard]] static TColor FromQColor(const QColor& color);
    [[nodiscard]] static constexpr TColor System(int index) { return TColor(kSystemFlag | std::uint32_t(index & 0xFF)); }
    [[nodiscard]] static constexpr TColor None() { return TColor(kNoneValue); }
    // Takes a raw 32-bit value as laid out above.
    [[nodiscard]] static constexpr TColor FromRaw(std::uint32_t raw) { return TColor(raw); }

    [[nodiscard]] constexpr bool IsNone() const { return m_value == kNoneValue; }
    [[nodiscard]] constexpr bool IsSystem() const { return (m_value & kSystemFlag) != 0; }
    [[nodiscard]] constexpr bool IsRgb() const { return !IsNone() && !IsSystem(); }
    // -1 unless a system colour.
    [[nodiscard]] constexpr int SystemIndex() const { return IsSystem() ? int(m_value & 0xFF) : -1; }
    [[nodiscard]] constexpr std::uint32_t Raw() const { return m_value; }

    friend constexpr bool operator==(TColor, TColor) = default;

private:
    constexpr explicit TColor(std::uint32_t value) : m_value(value) {}
    std::uint32_t m_value = kNoneValue;
};

// Named values in the style of the original toolkit.
inline constexpr TColor clNone = TColor::None();
inline constexpr TColor clBlack = TColor::Rgb(0, 0, 0);
inline constexpr TColor clWhite = TColor::Rgb(255, 255, 255);
inline constexpr TColor clRed = TColor::Rgb(255, 0, 0);
inline constexpr TColor clLime = TColor::Rgb(0, 255, 0);
inline constexpr TColor clBlue = TColor::Rgb(0, 0, 255);
inline constexpr TColor clNavy = TColor::Rgb(0, 0, 128);
inline constexpr TColor clGray = TColor::Rgb(128, 128, 128);
inline constexpr TColor clSilver = TColor::Rgb(192, 192, 192);

inline constexpr TColor clScrollBar = TColor::System(COLOR_SCROLLBAR);
inline constexpr TColor clBackground = TColor::System(COLOR_BACKGROUND);
inline constexpr TColor clActiveCaption = TColor::System(COLOR_ACTIVECAPTION);
inline constexpr TColor clInactiveCaption = TColor::System(COLOR_INACTIVECAPTION);
inline constexpr TColor clMenu = TColor::System(COLOR_MENU);
inline constexpr TColor clWindow = TColor::System(COLOR_WINDOW);
inline constexpr TColor clWindowFrame = TColor::System(COLOR_WINDOWFRAME);
inline constexpr TColor clMenuText = TColor::System(COLOR_MENUTEXT);
inline constexpr TColor clWindowText = TColor::System(COLOR_WINDOWTEXT);
inline constexpr TColor clCaptionText = TColor::System(COLOR_CAPTIONTEXT);
inline constexpr TColor clActiveBorder = TColor::System(COLOR_ACTIVEBORDER);
inline constexpr TColor clInactiveBorder = TColor::System(COLOR_INACTIVEBORDER);
inline constexpr TColor clAppWorkSpace = TColor::System(COLOR_APPWORKSPACE);
inline constexpr TColor clHighlight = TColor::System(COLOR_HIGHLIGHT);
inline constexpr TColor clHighlightText = TColor::System(COLOR_HIGHLIGHTTEXT);
inline constexpr TColor clBtnFace = TColor::System(COLOR_BTNFACE);
inline constexpr TColor clBtnShadow = TColor::System(COLOR_BTNSHADOW);
inline constexpr TColor clGrayText = TColor::System(COLOR_GRAYTEXT);
inline constexpr TColor clBtnText = TColor::System(COLOR_BTNTEXT);
inline constexpr TColor clInactiveCaptionText = TColor::System(COLOR_INACTIVECAPTIONTEXT);
inline constexpr TColor clBtnHighlight = TColor::System(COLOR_BTNHIGHLIGHT);
inline constexpr TColor cl3DDkShadow = TColor::System(COLOR_3DDKSHADOW);
inline constexpr TColor cl3DLight = TColor::System(COLOR_3DLIGHT);
inline constexpr TColor clInfoText = TColor::System(COLOR_INFOTEXT);
inline constexpr TColor clInfoBk = TColor::System(COLOR_INFOBK);
inline constexpr TColor clHotLight = TColor::System(COLOR_HOTLIGHT);
inline constexpr TColor clGradientActiveCaption = TColor::System(COLOR_GRADIENTACTIVECAPTION);
inline constexpr TColor clGradientInactiveCaption = TColor::System(COLOR_GRADIENTINACTIVECAPTION);
inline constexpr TColor clMenuHighlight = TColor::System(COLOR_MENUHILIGHT);
inline constexpr TColor clMenuBar = TColor::System(COLOR_MENUBAR);

// The colour of system index `index` in the scheme in force now; black for
// an index outside the table.
[[nodiscard]] QColor GetSysColor(int index);
// Resolves `color` now: an RGB colour as is, a system colour through the
// current scheme; none gives an invalid QColor (callers choose their own).
[[nodiscard]] QColor ColorToRGB(TColor color);
// The resolved colour as 0x00BBGGRR; none gives TColor::kNoneValue.
[[nodiscard]] std::uint32_t ColorToWin32(TColor color);

// Pins the fixed classic scheme (white windows, silver buttons, navy
// highlight) and drops every SetSysColor override.
void InstallClassicScheme();
// Back to following the desktop palette; drops every override.
void InstallDesktopScheme();
// Overrides one entry of the current scheme; out-of-range indices are
// ignored.
void SetSysColor(int index, const QColor& color);
// The classic scheme's colour of `index` (black outside the table).
[[nodiscard]] QColor ClassicSysColor(int index);
