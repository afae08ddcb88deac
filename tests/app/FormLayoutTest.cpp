#include "app/FormLayout.h"
#include "tests/support/DesignValues.h"

#include <gtest/gtest.h>

namespace {

using namespace design;

TEST(FormLayout, StacksTopAndBottomControlsAroundTheResultArea)
{
    const int w = kWindowSize.width();
    const TFormRects r = TFormLayout::Compute(kWindowSize, kEditorHeight);
    EXPECT_EQ(r.toolBar, QRect(0, 0, w, kToolBarHeight));
    EXPECT_EQ(r.editor, QRect(0, 26, w, kEditorHeight));
    EXPECT_EQ(r.splitter, QRect(0, 291, w, kSplitterHeight));
    EXPECT_EQ(r.statusBar, QRect(0, 568, w, kStatusBarHeight));
    EXPECT_EQ(r.panel, QRect(0, 531, w, kPanelHeight));
    EXPECT_EQ(r.result, QRect(0, 294, w, 531 - 294));
}

TEST(FormLayout, TooSmallWindowLeavesAnEmptyResultArea)
{
    const TFormRects r = TFormLayout::Compute(QSize(300, 200), kEditorHeight);
    EXPECT_EQ(r.result.height(), 0);
    EXPECT_EQ(r.result.top(), 294);
    EXPECT_EQ(r.statusBar.top(), 181);
    const TFormRects collapsed = TFormLayout::Compute(QSize(300, 200), 0);
    EXPECT_EQ(collapsed.splitter.top(), 26);
    EXPECT_EQ(collapsed.result, QRect(0, 29, 300, 200 - kStatusBarHeight - kPanelHeight - 29));
}

TEST(PanelLayout, RightAnchoredButtonsKeepTheirDistanceToTheRightEdge)
{
    const TPanelButtonDesign left{16, 8, 89, 25, false};
    const TPanelButtonDesign right{581, 8, 75, 25, true};
    EXPECT_EQ(TPanelLayout::Place(left, 685), QRect(16, 8, 89, 25));
    EXPECT_EQ(TPanelLayout::Place(right, 685), QRect(581, 8, 75, 25));
    EXPECT_EQ(TPanelLayout::Place(left, 900), QRect(16, 8, 89, 25));
    EXPECT_EQ(TPanelLayout::Place(right, 900), QRect(796, 8, 75, 25));
    EXPECT_EQ(TPanelLayout::Place(right, 500).right(), 500 - (685 - 656) - 1);
}
} // namespace
