// The fonts' start-up work done ahead on a thread of its own: every wait is
// safe at any moment and any number of times, a preload never asked to fill
// the font database ends after the configuration read, and the GUI thread
// resolves fonts as before while the other thread asks for the database.

#include "app/FontPreload.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace {

QFont DesignFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    return font;
}

TEST(FontPreload, WaitsAnyNumberOfTimesAndEndsWithoutTheDatabaseFillWhenNotAsked)
{
    // Two at once, as when fontconfig is asked from two threads: the
    // configuration is set once and both end.
    auto first = std::make_unique<TFontPreload>();
    TFontPreload second;
    first->WaitForConfiguration();
    first->WaitForConfiguration();
    first->Wait();
    first->Wait();
    first.reset();   // after Wait(): nothing left to join
    second.Wait();   // the fill was never asked for: the thread ends
    second.FillFontDatabase();   // too late: nothing starts
    second.WaitForConfiguration();

    // Never waited for: joined when it goes.
    { TFontPreload unwaited; }
    { TFontPreload filling; filling.FillFontDatabase(); }
}

TEST(FontPreload, FontsResolveAsBeforeWhileTheOtherThreadAsksForTheDatabase)
{
    const QString text = QStringLiteral("--тут писать запросы");
    TFontPreload fonts;
    fonts.FillFontDatabase();
    fonts.WaitForConfiguration();
    // The GUI thread resolves fonts while the other thread may hold the
    // database's lock.
    const QString family = QFontInfo(DesignFont()).family();
    const int width = QFontMetrics(DesignFont()).horizontalAdvance(text);
    fonts.Wait();
    EXPECT_FALSE(QFontDatabase::families().isEmpty());
    EXPECT_TRUE(QFontDatabase::families().contains(family));
    EXPECT_EQ(QFontMetrics(DesignFont()).horizontalAdvance(text), width);
}

} // namespace
