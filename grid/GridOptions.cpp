#include "grid/GridOptions.h"

#include <array>

namespace {

// Where a set member's namesake lives in the combined words.
enum class TCombined : std::uint8_t { None, Options, OptionsEx };
struct TNamesake {
    TCombined word = TCombined::None;
    int bit = 0;
};

constexpr TNamesake O(TdxDBGridOption m) { return {TCombined::Options, static_cast<int>(m)}; }
constexpr TNamesake X(TdxDBGridOptionEx m) { return {TCombined::OptionsEx, static_cast<int>(m)}; }

template <std::size_t N>
struct TNamesakeTable {
    std::array<TNamesake, N> at{};
};

constexpr auto kBehavior = [] {
    TNamesakeTable<kBehaviorMemberCount> t;
    t.at[edgoAutoSearch] = O(egoAutoSearch);
    t.at[edgoCaseInsensitive] = X(egoCaseInsensitive);
    t.at[edgoTabs] = O(egoTabs);
    t.at[edgoEditing] = O(egoEditing);
    t.at[edgoHorzThrough] = O(egoHorzThrough);
    t.at[edgoDblClick] = O(egoDblClick);
    t.at[edgoMultiSelect] = O(egoMultiSelect);
    t.at[edgoMultiSort] = X(egoMultiSort);
    t.at[edgoEnterThrough] = O(egoEnterThrough);
    t.at[edgoMouseScroll] = O(egoMouseScroll);
    t.at[edgoResetColumnFocus] = X(egoResetColumnFocus);
    t.at[edgoTabThrough] = O(egoTabThrough);
    t.at[edgoImmediateEditor] = O(egoImmediateEditor);
    t.at[edgoVertThrough] = X(egoVertThrough);
    t.at[edgoSyncSelection] = X(egoSyncSelection);
    t.at[edgoEnterShowEditor] = X(egoEnterShowEditor);
    t.at[edgoDragScroll] = X(egoDragScroll);
    t.at[edgoAutoSort] = X(egoAutoSort);
    return t;
}();

constexpr auto kCustomize = [] {
    TNamesakeTable<kCustomizeMemberCount> t;
    t.at[edgoColumnSizing] = O(egoColumnSizing);
    t.at[edgoColumnMoving] = O(egoColumnMoving);
    t.at[edgoBandSizing] = X(egoBandSizing);
    t.at[edgoBandMoving] = X(egoBandMoving);
    return t;
}();

constexpr auto kDB = [] {
    TNamesakeTable<kDBMemberCount> t;
    t.at[edgoCanAppend] = O(egoCanAppend);
    t.at[edgoCanDelete] = O(egoCanDelete);
    t.at[edgoConfirmDelete] = O(egoConfirmDelete);
    t.at[edgoCanNavigation] = O(egoCanNavigation);
    t.at[edgoCancelOnExit] = O(egoCancelOnExit);
    t.at[edgoCanInsert] = O(egoCanInsert);
    t.at[edgoLoadAllRecords] = O(egoLoadAllRecords);
    t.at[edgoPartialLoad] = X(egoPartialLoad);
    t.at[edgoSmartReload] = X(egoSmartReload);
    t.at[edgoUseBookmarks] = X(egoUseBookmarks);
    return t;
}();

constexpr auto kView = [] {
    TNamesakeTable<kViewMemberCount> t;
    t.at[edgoAutoWidth] = X(egoAutoWidth);
    t.at[edgoIndicator] = O(egoIndicator);
    t.at[edgoDrawEndEllipsis] = X(egoDrawEndEllipsis);
    t.at[edgoUseBitmap] = X(egoUseBitmap);
    t.at[edgoRowSelect] = O(egoRowSelect);
    t.at[edgoInvertSelect] = O(egoInvertSelect);
    t.at[edgoHotTrack] = X(egoHotTrack);
    t.at[edgoPreview] = X(egoPreview);
    t.at[edgoRowAutoHeight] = X(egoRowAutoHeight);
    t.at[edgoBandHeaderWidth] = X(egoBandHeaderWidth);
    return t;
}();

// Copies every changed member of a set into its namesake's bit.
template <std::size_t N>
void Propagate(const TNamesakeTable<N>& table, std::uint32_t oldWord, std::uint32_t newWord,
               std::uint32_t& options, std::uint32_t& optionsEx)
{
    const std::uint32_t changed = oldWord ^ newWord;
    for (std::size_t i = 0; i < N; ++i) {
        if (!((changed >> i) & 1u) || table.at[i].word == TCombined::None)
            continue;
        std::uint32_t& word = table.at[i].word == TCombined::Options ? options : optionsEx;
        const std::uint32_t bit = 1u << table.at[i].bit;
        word = ((newWord >> i) & 1u) ? (word | bit) : (word & ~bit);
    }
}

template <typename TSet, std::size_t N>
bool Assign(TSet& current, TSet value, const TNamesakeTable<N>& table, std::uint32_t& options, std::uint32_t& optionsEx)
{
    if (current == value)
        return false;
    Propagate(table, current.Word(), value.Word(), options, optionsEx);
    current = value;
    return true;
}

} // namespace

TGridOptions::TGridOptions()
    : m_behavior(TdxDBGridOptionsBehavior::FromWord(kDefaultOptionsBehavior))
    , m_customize(TdxDBGridOptionsCustomize::FromWord(kDefaultOptionsCustomize))
    , m_db(TdxDBGridOptionsDB::FromWord(kDefaultOptionsDB))
    , m_view(TdxDBGridOptionsView::FromWord(kDefaultOptionsView))
    , m_options(kDefaultOptions)
    , m_optionsEx(kDefaultOptionsEx)
{
}

bool TGridOptions::SetOptionsBehavior(TdxDBGridOptionsBehavior value) { return Assign(m_behavior, value, kBehavior, m_options, m_optionsEx); }
bool TGridOptions::SetOptionsCustomize(TdxDBGridOptionsCustomize value) { return Assign(m_customize, value, kCustomize, m_options, m_optionsEx); }
bool TGridOptions::SetOptionsDB(TdxDBGridOptionsDB value) { return Assign(m_db, value, kDB, m_options, m_optionsEx); }
bool TGridOptions::SetOptionsView(TdxDBGridOptionsView value) { return Assign(m_view, value, kView, m_options, m_optionsEx); }
