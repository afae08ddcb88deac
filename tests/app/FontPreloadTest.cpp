// Fontconfig read ahead on a thread of its own: waiting is safe at any
// moment and any number of times, and Qt's fonts work after it.

#include "app/FontConfigPreload.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(FontConfigPreload, WaitsAnyNumberOfTimesAlongsideOtherReadsAndFontsResolveAfterIt)
{
    // Two reads at once, as when the library is asked from two threads:
    // the configuration is set once and both end.
    auto first = std::make_unique<TFontConfigPreload>();
    TFontConfigPreload second;
    first->Wait();
    first->Wait();
    first.reset();   // after Wait(): nothing left to join
    second.Wait();

    // A preload that is never waited for is joined when it goes.
    { TFontConfigPreload unwaited; }

    ASSERT_FALSE(QFontDatabase::families().isEmpty());
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    if (QFontDatabase::families().contains(QStringLiteral("DejaVu Sans"))) {
        EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
    }
    EXPECT_EQ(QFontInfo(font).pixelSize(), 11);
}

} // namespace
