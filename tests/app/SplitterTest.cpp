#include "app/Splitter.h"
#include "tests/support/DesignValues.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

TEST(SplitterDrag, MovesFreelyBetweenTheLimits)
{
    const TSplitterDrag drag(265, 200);
    EXPECT_EQ(drag.MaxSize(), 265 + 200 - design::kMinResultHeight);
    EXPECT_EQ(drag.SizeFor(0), 265);
    EXPECT_EQ(drag.SizeFor(-100), 165);
    EXPECT_EQ(drag.SizeFor(100), 365);
}

TEST(SplitterDrag, EditorSnapsToZeroAtTheMinimum)
{
    const TSplitterDrag drag(265, 200);
    EXPECT_EQ(drag.SizeFor(-234), 31);
    EXPECT_EQ(drag.SizeFor(-235), 0);  // exactly 30 snaps
    EXPECT_EQ(drag.SizeFor(-265), 0);
    EXPECT_EQ(drag.SizeFor(-1000), 0);
}

TEST(SplitterDrag, ResultAreaKeepsTheMinimum)
{
    const TSplitterDrag drag(265, 200);
    EXPECT_EQ(drag.SizeFor(170), 435);
    EXPECT_EQ(drag.SizeFor(171), 435);
    EXPECT_EQ(drag.SizeFor(5000), 435);
}

TEST(SplitterDrag, CollapsedEditorReopensOnlyPastTheMinimum)
{
    const TSplitterDrag drag(0, 300);
    EXPECT_EQ(drag.SizeFor(20), 0);
    EXPECT_EQ(drag.SizeFor(30), 0);
    EXPECT_EQ(drag.SizeFor(31), 31);
}

TEST(SplitterDrag, CrampedAreaCannotGrowTheEditor)
{
    // Less room than two minimums: every position snaps the editor shut or
    // keeps it within the room the result area leaves.
    const TSplitterDrag drag(20, 25);
    EXPECT_EQ(drag.MaxSize(), 15);
    EXPECT_EQ(drag.SizeFor(0), 0);
    EXPECT_EQ(drag.SizeFor(50), 0);
    const TSplitterDrag none(0, 10);
    EXPECT_EQ(none.MaxSize(), 0);
    EXPECT_EQ(none.SizeFor(100), 0);
}

// A parent with a control of 100 pixels at the top, the bar below it and
// 150 pixels of rest.
struct TSplitterRig {
    QWidget parent;
    QWidget* control = new QWidget(&parent);
    TSplitter* bar = nullptr;
    std::vector<int> applied;

    TSplitterRig()
    {
        parent.resize(200, 253);
        control->setGeometry(0, 0, 200, 100);
        bar = new TSplitter(&parent, control, [this] { return 253 - control->height() - 3; });
        bar->setGeometry(0, 100, 200, 3);
        bar->SetOnResize([this](int size) {
            applied.push_back(size);
            control->resize(200, size);
            bar->move(0, size);
        });
        parent.show();
    }
};

TEST(SplitterWidget, ShowsTheBandWhileDraggingAndAppliesOnRelease)
{
    TSplitterRig rig;
    EXPECT_EQ(rig.bar->cursor().shape(), Qt::SizeVerCursor);
    QTest::mousePress(rig.bar, Qt::LeftButton, {}, QPoint(10, 1));
    ASSERT_TRUE(rig.bar->Dragging());
    QTest::mouseMove(rig.bar, QPoint(10, 41));
    auto* band = rig.parent.findChild<QWidget*>(QStringLiteral("Splitter1Band"));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->geometry(), QRect(0, 140, 200, 3));
    EXPECT_EQ(rig.control->height(), 100);  // nothing applied yet
    QTest::mouseRelease(rig.bar, Qt::LeftButton, {}, QPoint(10, 41));
    EXPECT_FALSE(rig.bar->Dragging());
    EXPECT_EQ(rig.parent.findChild<QWidget*>(QStringLiteral("Splitter1Band")), nullptr);
    EXPECT_EQ(rig.applied, std::vector<int>{140});
}

TEST(SplitterWidget, DragToTheMinimumCollapsesAndReleaseInPlaceChangesNothing)
{
    TSplitterRig rig;
    QTest::mousePress(rig.bar, Qt::LeftButton, {}, QPoint(10, 1));
    QTest::mouseRelease(rig.bar, Qt::LeftButton, {}, QPoint(10, 1));
    EXPECT_TRUE(rig.applied.empty());

    QTest::mousePress(rig.bar, Qt::LeftButton, {}, QPoint(10, 1));
    QTest::mouseMove(rig.bar, QPoint(10, -69));
    QTest::mouseRelease(rig.bar, Qt::LeftButton, {}, QPoint(10, -69));
    EXPECT_EQ(rig.applied, std::vector<int>{0});
}
} // namespace
