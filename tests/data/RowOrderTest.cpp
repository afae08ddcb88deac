#include "platform/data/RowOrder.h"

#include "platform/core/Failure.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

constexpr std::size_t npos = TRowOrder::npos;

// The physical rows in logical order, checking that every one maps back.
std::vector<std::size_t> Rows(const TRowOrder& order)
{
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < order.Count(); ++i) {
        rows.push_back(order.Physical(i));
        EXPECT_EQ(order.Logical(rows.back()), i) << "physical row " << rows.back();
    }
    return rows;
}

using TRows = std::vector<std::size_t>;

} // namespace

TEST(RowOrder, StartsAsTheIdentityWithoutAnIndex)
{
    TRowOrder order;
    order.Reset(5);
    EXPECT_EQ(Rows(order), (TRows{0, 1, 2, 3, 4}));
    EXPECT_EQ(order.Logical(5), npos);
    EXPECT_EQ(order.Logical(npos), npos);
    EXPECT_EQ(order.MemoryBytes(), 0u);

    // Appending the next physical row and removing the last one keep it so.
    order.Insert(5, 5);
    EXPECT_EQ(order.Erase(5), 5u);
    EXPECT_EQ(order.Erase(4), 4u);
    EXPECT_EQ(order.MemoryBytes(), 0u);
    EXPECT_EQ(Rows(order), (TRows{0, 1, 2, 3}));
    EXPECT_EQ(order.Logical(4), npos);
}

TEST(RowOrder, InsertsAndErasesAtTheEndsAndInTheMiddle)
{
    TRowOrder order;
    order.Reset(4);
    order.Insert(0, 4);                 // front
    EXPECT_EQ(Rows(order), (TRows{4, 0, 1, 2, 3}));
    order.Insert(2, 5);                 // middle
    EXPECT_EQ(Rows(order), (TRows{4, 0, 5, 1, 2, 3}));
    order.Insert(6, 6);                 // end, after the index exists
    EXPECT_EQ(Rows(order), (TRows{4, 0, 5, 1, 2, 3, 6}));
    order.Insert(99, 7);                // a position past the end appends
    EXPECT_EQ(Rows(order), (TRows{4, 0, 5, 1, 2, 3, 6, 7}));

    EXPECT_EQ(order.Erase(0), 4u);      // front
    EXPECT_EQ(order.Erase(3), 2u);      // middle
    EXPECT_EQ(order.Erase(5), 7u);      // end
    EXPECT_EQ(Rows(order), (TRows{0, 5, 1, 3, 6}));

    // Removing the last row of the identity leaves a gap: the next physical
    // row then goes in through the index.
    TRowOrder gap;
    gap.Reset(3);
    gap.Erase(2);
    gap.Insert(2, 3);
    EXPECT_EQ(Rows(gap), (TRows{0, 1, 3}));
    EXPECT_EQ(gap.Logical(2), npos);
}

TEST(RowOrder, ErasedAndUnknownRowsAreNotFoundAndCannotComeTwice)
{
    TRowOrder order;
    order.Reset(3);
    EXPECT_EQ(order.Erase(1), 1u);
    EXPECT_EQ(order.Logical(1), npos);
    EXPECT_EQ(order.Logical(3), npos);
    EXPECT_EQ(order.Logical(1000), npos);
    EXPECT_EQ(Rows(order), (TRows{0, 2}));

    EXPECT_THROW(order.Insert(0, 2), Exception);   // in the order already
    EXPECT_EQ(Rows(order), (TRows{0, 2}));

    // Emptied through the index and filled again.
    order.Erase(0);
    order.Erase(0);
    EXPECT_EQ(order.Count(), 0u);
    EXPECT_EQ(order.Logical(0), npos);
    EXPECT_EQ(order.Logical(2), npos);
    order.Insert(0, 3);
    EXPECT_EQ(Rows(order), (TRows{3}));

    order.Reset(2);
    EXPECT_EQ(Rows(order), (TRows{0, 1}));
    EXPECT_EQ(order.Logical(3), npos);
    EXPECT_EQ(order.MemoryBytes(), 0u);
}

TEST(RowOrder, FindsEveryRowAfterManyEdits)
{
    constexpr std::size_t kFetched = 300;
    constexpr int kEdits = 3000;
    TRowOrder order;
    order.Reset(kFetched);
    std::vector<std::size_t> model(kFetched);
    for (std::size_t i = 0; i < kFetched; ++i)
        model[i] = i;
    std::vector<std::size_t> erased;
    std::size_t nextPhysical = kFetched;

    std::mt19937 random(7);
    for (int step = 0; step < kEdits; ++step) {
        const bool insert = model.empty() || random() % 5 < 2;
        const std::size_t at = random() % (model.size() + (insert ? 1 : 0));
        if (insert) {
            order.Insert(at, nextPhysical);
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), nextPhysical++);
        } else {
            erased.push_back(model[at]);
            EXPECT_EQ(order.Erase(at), model[at]);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        }
        ASSERT_EQ(order.Count(), model.size());
        if (!model.empty()) {
            const std::size_t probe = random() % model.size();
            ASSERT_EQ(order.Logical(model[probe]), probe) << "step " << step;
        }
    }
    EXPECT_EQ(Rows(order), model);
    for (std::size_t row : erased)
        EXPECT_EQ(order.Logical(row), npos) << "erased row " << row;
}
