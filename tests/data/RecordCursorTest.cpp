#include "platform/data/RecordCursor.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

constexpr std::size_t kRecords = 10;
constexpr int kWindow = 3;

const TWindowNotice kNothing{};
const TWindowNotice kChanged{TWindowNotice::Changed, 0};
TWindowNotice Scrolled(int distance) { return {TWindowNotice::Scrolled, distance}; }

TRecordCursor Cursor(std::size_t count = kRecords, int window = kWindow)
{
    TRecordCursor c;
    c.SetWindowSize(window);
    c.Reset(count);
    return c;
}

} // namespace

TEST(RecordCursor, WithoutRecordsEveryMoveIsANoOpAtBothEnds)
{
    TRecordCursor c = Cursor(0);
    EXPECT_TRUE(c.Bof());
    EXPECT_TRUE(c.Eof());
    EXPECT_EQ(c.WindowRecords(), 0);
    EXPECT_EQ(c.First(), kNothing);
    EXPECT_EQ(c.Last(), kNothing);
    EXPECT_EQ(c.MoveBy(3), TCursorStep{});
    EXPECT_EQ(c.MoveToRecNo(2), kNothing);
    EXPECT_EQ(c.MoveTo(0), kNothing);
    EXPECT_TRUE(c.Bof() && c.Eof());

    c.Reset(kRecords);
    EXPECT_TRUE(c.Bof());
    EXPECT_FALSE(c.Eof());
    EXPECT_EQ(c.WindowRecords(), kWindow);
}

TEST(RecordCursor, MovesScrollTheWindowTheLeastAndReportTheDistance)
{
    TRecordCursor c = Cursor();
    // Inside the window: the window stays, the links still hear of the move.
    EXPECT_EQ(c.MoveBy(2), (TCursorStep{2, Scrolled(0)}));
    EXPECT_EQ(c.Top(), 0u);
    EXPECT_EQ(c.CursorRow(), 2);
    // One past the window's end: it moves on by one.
    EXPECT_EQ(c.MoveBy(1), (TCursorStep{1, Scrolled(-1)}));
    EXPECT_EQ(c.Top(), 1u);
    EXPECT_EQ(c.CursorRow(), 2);
    // A whole window back is still a scroll; further is a change.
    EXPECT_EQ(c.MoveToRecNo(1), Scrolled(1));
    EXPECT_EQ(c.Top(), 0u);
    EXPECT_EQ(c.Last(), kChanged);
    EXPECT_EQ(c.Top(), kRecords - kWindow);
    EXPECT_EQ(c.CursorRow(), kWindow - 1);
    EXPECT_EQ(c.MoveBy(-kWindow - 2), (TCursorStep{-kWindow - 2, Scrolled(kWindow)}));
    EXPECT_EQ(c.First(), kChanged);
    EXPECT_EQ(c.Top(), 0u);
    // Staying on the current record reports nothing.
    EXPECT_EQ(c.MoveTo(0), kNothing);
}

TEST(RecordCursor, MovesStopAtTheEndsAndSetBofAndEof)
{
    TRecordCursor c = Cursor();
    EXPECT_EQ(c.MoveBy(-1).moved, 0);           // at Bof nothing moves back
    EXPECT_EQ(c.MoveBy(100).moved, static_cast<int>(kRecords) - 1);
    EXPECT_TRUE(c.Eof());
    EXPECT_FALSE(c.Bof());
    EXPECT_EQ(c.MoveBy(1), TCursorStep{});      // at Eof nothing moves on
    EXPECT_EQ(c.MoveBy(INT_MIN).moved, -(static_cast<int>(kRecords) - 1));
    EXPECT_TRUE(c.Bof());
    EXPECT_FALSE(c.Eof());
    EXPECT_EQ(c.Current(), 0u);

    // A move that reaches the last record exactly is not yet Eof.
    c.MoveBy(static_cast<int>(kRecords) - 1);
    EXPECT_FALSE(c.Eof());
    EXPECT_EQ(c.Current(), kRecords - 1);

    // Record numbers and bookmarks are clamped and clear both flags.
    c.Last();
    c.MoveToRecNo(0);
    EXPECT_EQ(c.Current(), 0u);
    EXPECT_FALSE(c.Bof() || c.Eof());
    c.MoveToRecNo(INT_MAX);
    EXPECT_EQ(c.Current(), kRecords - 1);
    EXPECT_FALSE(c.Bof() || c.Eof());
    c.MoveTo(kRecords + 5);
    EXPECT_EQ(c.Current(), kRecords - 1);
}

TEST(RecordCursor, ActiveRowServesReadsUntilTheNextMove)
{
    TRecordCursor c = Cursor();
    c.SetActiveRow(2);
    EXPECT_EQ(c.ActiveRow(), 2);
    EXPECT_EQ(c.ActiveLogical(), 2u);
    EXPECT_EQ(c.CursorRow(), 0);
    c.SetActiveRow(kWindow);                    // outside the window: ignored
    EXPECT_EQ(c.ActiveRow(), 2);
    // A move to the same record still resets the read row, so it is reported.
    EXPECT_EQ(c.MoveTo(0), Scrolled(0));
    EXPECT_EQ(c.ActiveRow(), 0);

    // Near the end the window holds fewer records than its size.
    TRecordCursor two = Cursor(2);
    EXPECT_EQ(two.WindowRecords(), 2);
    two.SetActiveRow(2);
    EXPECT_EQ(two.ActiveRow(), 0);
}

TEST(RecordCursor, ResizedWindowStaysFullAndShowsTheCursor)
{
    TRecordCursor c = Cursor(kRecords, 1);
    c.Last();
    EXPECT_EQ(c.Top(), kRecords - 1);
    EXPECT_TRUE(c.SetWindowSize(4));
    EXPECT_EQ(c.Top(), kRecords - 4);
    EXPECT_EQ(c.CursorRow(), 3);
    EXPECT_FALSE(c.SetWindowSize(4));
    EXPECT_TRUE(c.SetWindowSize(0));            // at least one row
    EXPECT_EQ(c.WindowSize(), 1);
    EXPECT_EQ(c.Top(), kRecords - 1);
}

TEST(RecordCursor, InsertsAndRemovalsKeepTheCursorOnARecord)
{
    TRecordCursor c = Cursor();
    c.MoveToRecNo(5);
    c.Inserted(4);                              // before the current record
    EXPECT_EQ(c.Count(), kRecords + 1);
    EXPECT_EQ(c.Current(), 4u);
    EXPECT_FALSE(c.Bof() || c.Eof());
    c.Appended();
    EXPECT_EQ(c.Current(), kRecords + 1);
    EXPECT_TRUE(c.Eof());
    EXPECT_EQ(c.Top(), kRecords + 2 - kWindow);

    c.Removed();                                // the last: the new last is current
    EXPECT_EQ(c.Current(), kRecords);
    EXPECT_FALSE(c.Eof());
    c.First();
    c.Removed();                                // the first: the next one moves up
    EXPECT_EQ(c.Current(), 0u);
    EXPECT_FALSE(c.Bof());
    EXPECT_EQ(c.Count(), kRecords);

    TRecordCursor one = Cursor(1);
    one.Removed();
    EXPECT_TRUE(one.Bof() && one.Eof());
    EXPECT_EQ(one.WindowRecords(), 0);
    one.Inserted(0);                            // Insert keeps the flags
    EXPECT_TRUE(one.Bof() && one.Eof());
    EXPECT_EQ(one.Current(), 0u);
}
