// The Qt file dialogs show each filter by its description alone; the font
// window closes as one.

#include "platform/ui/DialogService.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QListView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct TSeen {
    bool found = false;
    bool hidesDetails = false;
    QStringList shownFilters;
};

// Reads the open file dialog once it is up, then cancels it.
void InspectThenCancel(TSeen& seen)
{
    QTimer::singleShot(0, [&seen] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog) {
            seen.found = true;
            seen.hidesDetails = dialog->testOption(QFileDialog::HideNameFilterDetails);
            if (auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
                for (int i = 0; i < combo->count(); ++i)
                    seen.shownFilters << combo->itemText(i);
            dialog->reject();
        } else if (QWidget* other = QApplication::activeModalWidget()) {
            other->close();
        }
    });
}

TEST(FileDialogs, FiltersShowTheirDescriptionOnly)
{
    TSeen open;
    InspectThenCancel(open);
    EXPECT_EQ(Dialogs().OpenFile(nullptr, QStringLiteral("*.* (*)")), std::nullopt);
    ASSERT_TRUE(open.found);
    EXPECT_TRUE(open.hidesDetails);
    EXPECT_EQ(open.shownFilters, QStringList{QStringLiteral("*.*")});

    TSeen save;
    InspectThenCancel(save);
    EXPECT_EQ(Dialogs().SaveFile(nullptr, QStringLiteral("HTML (HTML)")), std::nullopt);
    ASSERT_TRUE(save.found);
    EXPECT_TRUE(save.hidesDetails);
    EXPECT_EQ(save.shownFilters, QStringList{QStringLiteral("HTML")});
}

} // namespace

namespace {

// Esc inside the font part of the font window cancels the whole window; the
// window is closed by hand when it stays, so the test cannot hang.
TEST(FontDialog, EscInTheFontPartCancelsTheWindow)
{
    bool pressed = false;
    bool stayedOpen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* font = dialog ? dialog->findChild<QFontDialog*>() : nullptr;
        if (!font) {
            if (dialog)
                dialog->reject();
            return;
        }
        auto* list = font->findChild<QListView*>();
        QTest::keyClick(list ? static_cast<QWidget*>(list) : font, Qt::Key_Escape);
        pressed = true;
        QTimer::singleShot(0, dialog, [&stayedOpen, dialog] {
            stayedOpen = dialog->isVisible();
            dialog->reject();
        });
    });
    const std::optional<TFontChoice> choice = Dialogs().ChooseFont(nullptr, TFontChoice{QFont(), QColor(Qt::black)});
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(stayedOpen);
    EXPECT_FALSE(choice.has_value());
}

} // namespace
