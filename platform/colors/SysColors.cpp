#include "platform/colors/SysColors.h"

#include <QGuiApplication>
#include <QPalette>

#include <array>
#include <mutex>
#include <optional>

namespace {

// Classic desktop scheme, as RRGGBB.
constexpr std::array<QRgb, kSysColorCount> kClassic = {
    0xC0C0C0, // 0 scroll bar
    0x008080, // 1 desktop background
    0x000080, // 2 active caption
    0x808080, // 3 inactive caption
    0xC0C0C0, // 4 menu
    0xFFFFFF, // 5 window
    0x000000, // 6 window frame
    0x000000, // 7 menu text
    0x000000, // 8 window text
    0xFFFFFF, // 9 caption text
    0xC0C0C0, // 10 active border
    0xC0C0C0, // 11 inactive border
    0x808080, // 12 application workspace
    0x000080, // 13 highlight
    0xFFFFFF, // 14 highlight text
    0xC0C0C0, // 15 button face
    0x808080, // 16 button shadow
    0x808080, // 17 grey text
    0x000000, // 18 button text
    0xC0C0C0, // 19 inactive caption text
    0xFFFFFF, // 20 button highlight
    0x000000, // 21 3-D dark shadow
    0xDFDFDF, // 22 3-D light
    0x000000, // 23 tooltip text
    0xFFFFE1, // 24 tooltip background
    0x000000, // 25 unused
    0x0000FF, // 26 hot-track
    0x1084D0, // 27 gradient of the active caption
    0xB5B5B5, // 28 gradient of the inactive caption
    0x000080, // 29 menu highlight
    0xC0C0C0, // 30 menu bar
};

struct TScheme {
    std::mutex mutex;
    bool classic = false;
    std::array<std::optional<QRgb>, kSysColorCount> overrides;
};

TScheme& Scheme()
{
    static TScheme scheme;
    return scheme;
}

// Where the desktop palette has a matching role; entries without one keep
// the classic value.
// 30 % of `color` over 70 % of `base`.
QRgb Tint(QRgb color, QRgb base)
{
    const auto mix = [](int c, int b) { return (c * 3 + b * 7 + 5) / 10; };
    return qRgb(mix(qRed(color), qRed(base)), mix(qGreen(color), qGreen(base)), mix(qBlue(color), qBlue(base))) & 0xFFFFFF;
}

std::optional<QRgb> DesktopColor(int index)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return std::nullopt;
    const QPalette palette = QGuiApplication::palette();
    const auto role = [&](QPalette::ColorRole r) { return palette.color(QPalette::Active, r).rgb() & 0xFFFFFF; };
    switch (index) {
    case COLOR_SCROLLBAR: return role(QPalette::Button);
    case COLOR_ACTIVECAPTION: return role(QPalette::Highlight);
    case COLOR_INACTIVECAPTION: return role(QPalette::Mid);
    case COLOR_MENU: return role(QPalette::Window);
    case COLOR_WINDOW: return role(QPalette::Base);
    case COLOR_WINDOWFRAME: return role(QPalette::Shadow);
    case COLOR_MENUTEXT: return role(QPalette::WindowText);
    case COLOR_WINDOWTEXT: return role(QPalette::Text);
    case COLOR_CAPTIONTEXT: return role(QPalette::HighlightedText);
    case COLOR_ACTIVEBORDER: return role(QPalette::Window);
    case COLOR_INACTIVEBORDER: return role(QPalette::Window);
    case COLOR_APPWORKSPACE: return role(QPalette::Dark);
    case COLOR_HIGHLIGHT: return role(QPalette::Highlight);
    case COLOR_HIGHLIGHTTEXT: return role(QPalette::HighlightedText);
    case COLOR_BTNFACE: return role(QPalette::Button);
    case COLOR_BTNSHADOW: return role(QPalette::Dark);
    case COLOR_GRAYTEXT: return palette.color(QPalette::Disabled, QPalette::Text).rgb() & 0xFFFFFF;
    case COLOR_BTNTEXT: return role(QPalette::ButtonText);
    case COLOR_BTNHIGHLIGHT: return role(QPalette::Light);
    case COLOR_3DDKSHADOW: return role(QPalette::Shadow);
    case COLOR_3DLIGHT: return role(QPalette::Midlight);
    case COLOR_INFOTEXT: return role(QPalette::ToolTipText);
    case COLOR_INFOBK: return role(QPalette::ToolTipBase);
    case COLOR_HOTLIGHT: return role(QPalette::Link);
    case COLOR_MENUHILIGHT: return role(QPalette::Highlight);
    case COLOR_MENUBAR: return role(QPalette::Window);
    // Caption gradients have no palette role: a light tint of the caption
    // colour over the base, as desktop schemes draw them.
    case COLOR_GRADIENTACTIVECAPTION: return Tint(role(QPalette::Highlight), role(QPalette::Base));
    case COLOR_GRADIENTINACTIVECAPTION: return Tint(role(QPalette::Mid), role(QPalette::Base));
    default: return std::nullopt;
    }
}

} // namespace

TColor TColor::FromQColor(const QColor& color)
{
    if (!color.isValid())
        return None();
    return Rgb(color.red(), color.green(), color.blue());
}

QColor ClassicSysColor(int index)
{
    if (index < 0 || index >= kSysColorCount)
        return QColor(0, 0, 0);
    return QColor::fromRgb(kClassic[std::size_t(index)]);
}

QColor GetSysColor(int index)
{
    if (index < 0 || index >= kSysColorCount)
        return QColor(0, 0, 0);
    TScheme& scheme = Scheme();
    bool classic = false;
    {
        std::lock_guard lock(scheme.mutex);
        if (const auto& o = scheme.overrides[std::size_t(index)])
            return QColor::fromRgb(*o);
        classic = scheme.classic;
    }
    if (!classic) {
        if (const auto desktop = DesktopColor(index))
            return QColor::fromRgb(*desktop);
    }
    return ClassicSysColor(index);
}

QColor ColorToRGB(TColor color)
{
    if (color.IsNone())
        return QColor();
    if (color.IsSystem())
        return GetSysColor(color.SystemIndex());
    const std::uint32_t v = color.Raw();
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

std::uint32_t ColorToWin32(TColor color)
{
    if (color.IsNone())
        return TColor::kNoneValue;
    const QColor c = ColorToRGB(color);
    return (std::uint32_t(c.blue()) << 16) | (std::uint32_t(c.green()) << 8) | std::uint32_t(c.red());
}

void InstallClassicScheme()
{
    TScheme& scheme = Scheme();
    std::lock_guard lock(scheme.mutex);
    scheme.classic = true;
    scheme.overrides.fill(std::nullopt);
}

void InstallDesktopScheme()
{
    TScheme& scheme = Scheme();
    std::lock_guard lock(scheme.mutex);
    scheme.classic = false;
    scheme.overrides.fill(std::nullopt);
}

void SetSysColor(int index, const QColor& color)
{
    if (index < 0 || index >= kSysColorCount || !color.isValid())
        return;
    TScheme& scheme = Scheme();
    std::lock_guard lock(scheme.mutex);
    scheme.overrides[std::size_t(index)] = color.rgb() & 0xFFFFFF;
}
