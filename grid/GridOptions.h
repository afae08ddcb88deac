#pragma once
// The grid's option sets and the two combined flag words kept beside them.
// Widget-free.
//
// Bit n of a set's word is the member with ordinal n. The ordinals follow
// from the default words: the members set by default occupy the default
// word's bits in the order their namesakes take in the combined words
// (`Options` before `OptionsEx`, ascending bit); the other named members fill
// free ordinals. Ordinals no member here names are kept free so the words
// keep their width (29, 11, 14 and 14 members).
//
// The combined words `Options` and `OptionsEx` follow every change of a set:
// a member of a set updates the member of the same name in a combined word.

#include <cstdint>

enum TdxDBGridOptionBehavior : int {
    edgoAutoSearch = 0,
    edgoCaseInsensitive = 1,
    edgoTabs = 2,
    edgoEditing = 3,
    edgoHorzThrough = 4,
    edgoDblClick = 5,
    edgoMultiSelect = 6,
    edgoMultiSort = 7,
    edgoEnterThrough = 8,
    edgoMouseScroll = 9,
    edgoResetColumnFocus = 10,
    edgoTabThrough = 11,
    edgoImmediateEditor = 12,
    edgoVertThrough = 13,
    edgoSyncSelection = 14,
    edgoEnterShowEditor = 18,
    edgoDragScroll = 27,
    edgoAutoSort = 28,
};
inline constexpr int kBehaviorMemberCount = 29;

enum TdxDBGridOptionCustomize : int {
    edgoColumnSizing = 0,
    edgoColumnMoving = 2,
    edgoBandSizing = 3,
    edgoBandMoving = 4,
};
inline constexpr int kCustomizeMemberCount = 11;

enum TdxDBGridOptionDB : int {
    edgoCanAppend = 0,
    edgoCanDelete = 1,
    edgoConfirmDelete = 2,
    edgoCanNavigation = 3,
    edgoCancelOnExit = 4,
    edgoCanInsert = 5,
    edgoLoadAllRecords = 6,
    edgoPartialLoad = 7,
    edgoSmartReload = 8,
    edgoUseBookmarks = 12,
};
inline constexpr int kDBMemberCount = 14;

enum TdxDBGridOptionView : int {
    edgoAutoWidth = 0,
    edgoIndicator = 1,
    edgoDrawEndEllipsis = 2,
    edgoUseBitmap = 3,
    edgoRowSelect = 4,
    edgoInvertSelect = 5,
    edgoHotTrack = 6,
    edgoPreview = 7,
    edgoRowAutoHeight = 8,
    edgoBandHeaderWidth = 13,
};
inline constexpr int kViewMemberCount = 14;

// Members of the combined word `Options` (32-bit).
enum TdxDBGridOption : int {
    egoColumnSizing = 0,
    egoColumnMoving = 1,
    egoEditing = 2,
    egoTabs = 3,
    egoTabThrough = 4,
    egoIndicator = 5,
    egoMultiSelect = 6,
    egoCanDelete = 7,
    egoConfirmDelete = 8,
    egoCanNavigation = 9,
    egoLoadAllRecords = 10,
    egoCancelOnExit = 11,
    egoImmediateEditor = 12,
    egoCanInsert = 13,
    egoCanAppend = 14,
    egoRowSelect = 15,
    egoHorzThrough = 16,
    egoAutoSearch = 17,
    egoInvertSelect = 18,
    egoMouseScroll = 19,
    egoEnterThrough = 20,
    egoDblClick = 21,
};

// Members of the combined word `OptionsEx` (32-bit).
enum TdxDBGridOptionEx : int {
    egoAutoWidth = 0,
    egoUseBitmap = 1,
    egoBandHeaderWidth = 2,
    egoDrawEndEllipsis = 3,
    egoBandSizing = 4,
    egoBandMoving = 5,
    egoHotTrack = 6,
    egoVertThrough = 7,
    egoPreview = 8,
    egoRowAutoHeight = 9,
    egoEnterShowEditor = 10,
    egoMultiSort = 11,
    egoDragScroll = 12,
    egoCaseInsensitive = 13,
    egoSyncSelection = 14,
    egoPartialLoad = 15,
    egoSmartReload = 16,
    egoResetColumnFocus = 17,
    egoUseBookmarks = 18,
    egoAutoSort = 21,
};

// A set of members of one enumeration, as its flag word.
template <typename E, int Count>
class TOptionSet {
public:
    using Member = E;
    static constexpr std::uint32_t kMask = Count >= 32 ? 0xFFFFFFFFu : ((1u << Count) - 1u);

    constexpr TOptionSet() = default;
    static constexpr TOptionSet FromWord(std::uint32_t word) { TOptionSet s; s.m_word = word & kMask; return s; }

    [[nodiscard]] constexpr std::uint32_t Word() const { return m_word; }
    [[nodiscard]] constexpr bool Contains(E m) const { return (m_word >> static_cast<int>(m)) & 1u; }
    constexpr TOptionSet& operator+=(E m) { m_word |= Bit(m); return *this; }
    constexpr TOptionSet& operator-=(E m) { m_word &= ~Bit(m); return *this; }
    [[nodiscard]] friend constexpr TOptionSet operator+(TOptionSet s, E m) { return s += m; }
    [[nodiscard]] friend constexpr TOptionSet operator-(TOptionSet s, E m) { return s -= m; }
    friend constexpr bool operator==(TOptionSet, TOptionSet) = default;

private:
    static constexpr std::uint32_t Bit(E m) { return 1u << static_cast<int>(m); }
    std::uint32_t m_word = 0;
};

using TdxDBGridOptionsBehavior = TOptionSet<TdxDBGridOptionBehavior, kBehaviorMemberCount>;
using TdxDBGridOptionsCustomize = TOptionSet<TdxDBGridOptionCustomize, kCustomizeMemberCount>;
using TdxDBGridOptionsDB = TOptionSet<TdxDBGridOptionDB, kDBMemberCount>;
using TdxDBGridOptionsView = TOptionSet<TdxDBGridOptionView, kViewMemberCount>;

inline constexpr std::uint32_t kDefaultOptionsBehavior = 402929672;
inline constexpr std::uint32_t kDefaultOptionsCustomize = 29;
inline constexpr std::uint32_t kDefaultOptionsDB = 4158;
inline constexpr std::uint32_t kDefaultOptionsView = 8200;
inline constexpr std::uint32_t kDefaultOptions = 15255;
inline constexpr std::uint32_t kDefaultOptionsEx = 2102454;

// The four sets and the two combined words, always in step.
class TGridOptions {
public:
    TGridOptions();

    [[nodiscard]] TdxDBGridOptionsBehavior OptionsBehavior() const { return m_behavior; }
    [[nodiscard]] TdxDBGridOptionsCustomize OptionsCustomize() const { return m_customize; }
    [[nodiscard]] TdxDBGridOptionsDB OptionsDB() const { return m_db; }
    [[nodiscard]] TdxDBGridOptionsView OptionsView() const { return m_view; }
    [[nodiscard]] std::uint32_t Options() const { return m_options; }
    [[nodiscard]] std::uint32_t OptionsEx() const { return m_optionsEx; }

    // Each returns true when the set changed; an unchanged value touches
    // nothing.
    bool SetOptionsBehavior(TdxDBGridOptionsBehavior value);
    bool SetOptionsCustomize(TdxDBGridOptionsCustomize value);
    bool SetOptionsDB(TdxDBGridOptionsDB value);
    bool SetOptionsView(TdxDBGridOptionsView value);

private:
    TdxDBGridOptionsBehavior m_behavior;
    TdxDBGridOptionsCustomize m_customize;
    TdxDBGridOptionsDB m_db;
    TdxDBGridOptionsView m_view;
    std::uint32_t m_options;
    std::uint32_t m_optionsEx;
};
