#pragma once
// Arithmetic of moving around the grid: page keys, the horizontal offset and
// its scroll bar, the wheel, the middle-button auto-scroll and the rows put
// on the clipboard. Widget-free.

#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

// --- page keys

// The window row PgUp / PgDn focuses, from focused row `current` in a window
// of `rowCount` rows of which `visible` are whole. A row strictly between the
// top and the last whole row jumps to that edge first; otherwise the focus
// moves visible - 1 rows (1 when fewer than 2 are visible). The result may
// lie outside the window: the dataset then scrolls.
[[nodiscard]] int PageTargetRow(int current, int visible, int rowCount, bool down);

// --- horizontal offset

// LeftCoord clamped to 0 .. contentWidth - page (never below 0).
[[nodiscard]] int ClampLeftCoord(int x, int contentWidth, int page);

enum class THorzCommand { LineLeft, LineRight, PageLeft, PageRight, LeftEnd, RightEnd, ThumbTrack, ThumbPosition, EndScroll };

// The LeftCoord a scroll-bar command asks for (before clamping); nothing for
// end scroll. `track`: the thumb's tracking position.
[[nodiscard]] std::optional<int> HorzScrollTarget(THorzCommand command, int current, int digitWidth, int page,
                                                  int contentWidth, int track);

// The LeftCoord that shows the column [left, right) (content coordinates)
// in a page of `page` pixels now starting at `current`; nothing when it is
// already wholly shown.
[[nodiscard]] std::optional<int> ScrollIntoView(int left, int right, int current, int page);

// --- wheel

// Adds up angle deltas (120 units a notch) and hands out whole notches, so
// that small high-resolution deltas neither race nor stall. A turn in the
// other direction drops what was left of the previous one.
class TWheelAccumulator {
public:
    static constexpr int kNotch = 120;
    // Whole notches now due: positive forward (away from the user).
    [[nodiscard]] int Add(int angleDelta);
    void Reset() { m_rest = 0; }

private:
    int m_rest = 0;
};

// --- middle-button auto-scroll

enum class TAutoScrollDirection { None, Up, Down, Left, Right };

inline constexpr int kAutoScrollZone = 29;      // neutral zone and anchor window, square
inline constexpr int kAutoScrollMaxSpeed = 12;
inline constexpr int kAutoScrollTickMs = 20;

struct TAutoScrollMotion {
    TAutoScrollDirection direction = TAutoScrollDirection::None;
    int speed = 0;                 // 0 .. kAutoScrollMaxSpeed
    bool inZone = true;
};

// Direction and speed for the mouse at `point` with the anchor at `anchor`.
// Without a horizontal bar the zone spans the whole width, without a
// vertical one the whole height.
[[nodiscard]] TAutoScrollMotion AutoScrollMotion(QPoint anchor, QPoint point, bool horizontalBar, bool verticalBar);

// Counts 20-ms ticks: a line scroll is due on every (13 - speed)-th tick.
class TAutoScrollTicker {
public:
    // True when this tick scrolls one line at `speed`; speed 0 resets.
    bool Tick(int speed);

private:
    int m_ticks = 0;
};

// --- clipboard

// Captions and the focused row's values, each joined by TAB, as the two
// entries of a line list: captions CR LF CR LF values CR LF. Without values
// (no focused node) only the caption entry.
[[nodiscard]] QString RowsClipboardText(const QStringList& captions, const std::optional<QStringList>& values);
