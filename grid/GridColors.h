#pragma once
// The grid's one door to colour values: every property colour is a
// TGridColor and every paint resolves it here, at use, through the current
// system colour scheme.

#include <QColor>

#include <cstdint>

namespace gridcolor {

// Win32 system colour indices the grid uses.
inline constexpr int kWindow = 5;
inline constexpr int kWindowFrame = 6;
inline constexpr int kWindowText = 8;
inline constexpr int kHighlight = 13;
inline constexpr int kHighlightText = 14;
inline constexpr int kBtnFace = 15;
inline constexpr int kBtnShadow = 16;
inline constexpr int kBtnText = 18;
inline constexpr int kBtnHighlight = 20;
inline constexpr int k3DDkShadow = 21;
inline constexpr int k3DLight = 22;

} // namespace gridcolor

// An RGB value, a system colour by index, or none.
class TGridColor {
public:
    static constexpr std::uint32_t kNoneValue = 0x1FFFFFFF;

    constexpr TGridColor() = default;
    [[nodiscard]] static constexpr TGridColor Rgb(int r, int g, int b)
    {
        return TGridColor(Kind::Rgb, (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | std::uint32_t(b));
    }
    [[nodiscard]] static constexpr TGridColor System(int index) { return TGridColor(Kind::System, std::uint32_t(index)); }
    [[nodiscard]] static constexpr TGridColor None() { return TGridColor(Kind::None, kNoneValue); }

    [[nodiscard]] constexpr bool IsNone() const { return m_kind == Kind::None; }
    [[nodiscard]] constexpr bool IsSystem() const { return m_kind == Kind::System; }
    [[nodiscard]] constexpr int SystemIndex() const { return IsSystem() ? int(m_value) : -1; }
    // Resolves through the scheme in force now; none resolves to black.
    [[nodiscard]] QColor ToQColor() const;

    friend constexpr bool operator==(TGridColor, TGridColor) = default;

private:
    enum class Kind : std::uint8_t { Rgb, System, None };
    constexpr TGridColor(Kind kind, std::uint32_t value) : m_kind(kind), m_value(value) {}
    Kind m_kind = Kind::None;
    std::uint32_t m_value = kNoneValue;
};

// The colour of system index `index` in the scheme in force now.
[[nodiscard]] QColor GridSysColor(int index);
