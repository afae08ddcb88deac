#include "platform/colors/SysColors.h"

#include <QApplication>
#include <QPalette>

#include <gtest/gtest.h>

namespace {

class SysColorsTest : public ::testing::Test {
protected:
    void SetUp() override { InstallClassicScheme(); }
    void TearDown() override { InstallDesktopScheme(); }
};

TEST_F(SysColorsTest, ClassicSchemeValues)
{
    EXPECT_EQ(ColorToRGB(clWindow), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(ColorToRGB(clWindowText), QColor(0, 0, 0));
    EXPECT_EQ(ColorToRGB(clBtnFace), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(ColorToRGB(clBtnShadow), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(ColorToRGB(clBtnHighlight), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(ColorToRGB(clHighlight), QColor(0, 0, 0x80));
    EXPECT_EQ(ColorToRGB(clHighlightText), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(ColorToRGB(clActiveCaption), QColor(0, 0, 0x80));
    EXPECT_EQ(ColorToRGB(clActiveBorder), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(ColorToRGB(clGradientActiveCaption), QColor(0x10, 0x84, 0xD0));
    EXPECT_EQ(ColorToRGB(clWindowFrame), QColor(0, 0, 0));
    // Unused and out-of-range indices resolve to black rather than failing.
    EXPECT_EQ(ColorToRGB(TColor::System(25)), QColor(0, 0, 0));
    EXPECT_EQ(ColorToRGB(TColor::System(200)), QColor(0, 0, 0));
    EXPECT_EQ(GetSysColor(-1), QColor(0, 0, 0));
}

TEST_F(SysColorsTest, KindsAndRawLayout)
{
    EXPECT_TRUE(clNone.IsNone());
    EXPECT_TRUE(TColor().IsNone());
    EXPECT_EQ(clNone.Raw(), 0x1FFFFFFFu);
    EXPECT_FALSE(clNone.IsSystem());
    EXPECT_TRUE(clBtnFace.IsSystem());
    EXPECT_EQ(clBtnFace.SystemIndex(), COLOR_BTNFACE);
    EXPECT_EQ(clBtnFace.Raw(), 0x8000000Fu);
    EXPECT_TRUE(clLime.IsRgb());
    EXPECT_EQ(clLime.SystemIndex(), -1);
    EXPECT_EQ(TColor::Rgb(255, 128, 0).Raw(), 0x000080FFu) << "red in the low byte";
    EXPECT_EQ(TColor::FromQColor(QColor(1, 2, 3)), TColor::Rgb(1, 2, 3));
    EXPECT_TRUE(TColor::FromQColor(QColor()).IsNone());
    EXPECT_EQ(TColor::FromRaw(0x80000005u), clWindow);
    EXPECT_NE(clWindow, clWindowText);
}

TEST_F(SysColorsTest, NoneStaysRecognisable)
{
    EXPECT_FALSE(ColorToRGB(clNone).isValid());
    EXPECT_EQ(ColorToWin32(clNone), TColor::kNoneValue);
}

TEST_F(SysColorsTest, Win32ValueIsBlueGreenRed)
{
    EXPECT_EQ(ColorToWin32(TColor::Rgb(255, 128, 0)), 0x000080FFu);
    EXPECT_EQ(ColorToWin32(clBtnFace), 0x00C0C0C0u);
    EXPECT_EQ(ColorToWin32(clGradientActiveCaption), 0x00D08410u);
    EXPECT_EQ(ColorToWin32(clHighlight), 0x00800000u);
}

TEST_F(SysColorsTest, SystemColourResolvesAtUse)
{
    const TColor face = clBtnFace; // made before the change
    EXPECT_EQ(ColorToWin32(face), 0x00C0C0C0u);
    SetSysColor(COLOR_BTNFACE, QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(ColorToRGB(face), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(ColorToWin32(face), 0x00563412u);
    EXPECT_EQ(ColorToRGB(clWindow), QColor(0xFF, 0xFF, 0xFF)) << "other entries unchanged";
    EXPECT_EQ(ColorToRGB(TColor::Rgb(0xC0, 0xC0, 0xC0)), QColor(0xC0, 0xC0, 0xC0)) << "RGB values never follow the scheme";
    SetSysColor(99, Qt::red);
    SetSysColor(COLOR_WINDOW, QColor());
    EXPECT_EQ(ColorToRGB(clWindow), QColor(0xFF, 0xFF, 0xFF));
    InstallClassicScheme();
    EXPECT_EQ(ColorToRGB(face), QColor(0xC0, 0xC0, 0xC0)) << "installing a scheme drops overrides";
}

TEST_F(SysColorsTest, DesktopSchemeFollowsTheApplicationPalette)
{
    InstallDesktopScheme();
    const QPalette saved = QApplication::palette();
    QPalette p = saved;
    p.setColor(QPalette::Base, QColor(0x11, 0x22, 0x33));
    p.setColor(QPalette::Button, QColor(0x44, 0x55, 0x66));
    p.setColor(QPalette::Highlight, QColor(0x77, 0x88, 0x99));
    QApplication::setPalette(p);
    EXPECT_EQ(ColorToRGB(clWindow), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(ColorToRGB(clBtnFace), QColor(0x44, 0x55, 0x66));
    EXPECT_EQ(ColorToRGB(clHighlight), QColor(0x77, 0x88, 0x99));
    // No palette role: 30 % highlight over 70 % base.
    EXPECT_EQ(ColorToRGB(clGradientActiveCaption), QColor(0x30, 0x41, 0x52));
    EXPECT_EQ(ColorToRGB(TColor::System(COLOR_INFOBK + 1)), ClassicSysColor(COLOR_INFOBK + 1)) << "unmapped index: classic";

    p.setColor(QPalette::Button, QColor(0xAB, 0xCD, 0xEF));
    QApplication::setPalette(p);
    EXPECT_EQ(ColorToRGB(clBtnFace), QColor(0xAB, 0xCD, 0xEF)) << "a palette change shows at the next use";
    QApplication::setPalette(saved);
}

} // namespace
