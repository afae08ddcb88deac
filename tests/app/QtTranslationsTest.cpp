// Qt's own texts follow the user's locale; the program's captions do not.

#include "app/QtTranslations.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

// Removes and frees every translator installed on the application.
void RemoveTranslators()
{
    for (QTranslator* t : qApp->findChildren<QTranslator*>(Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}

TEST(QtTranslations, RussianTranslatesQtsDialogTextsAndNoneOfOurs)
{
    ASSERT_TRUE(InstallQtTranslations(*qApp, QLocale(QLocale::Russian, QLocale::Russia)))
        << "qtbase_ru.qm missing: scripts/deps.sh installs qt6-translations-l10n";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Перейти к:"));
    EXPECT_EQ(QCoreApplication::translate("QFontDialog", "&Font"), QStringLiteral("&Шрифт"));
    RemoveTranslators();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));

    // No translation for the language: nothing is installed.
    EXPECT_FALSE(InstallQtTranslations(*qApp, QLocale(QLocale::Esperanto)));
    EXPECT_TRUE(qApp->findChildren<QTranslator*>(Qt::FindDirectChildrenOnly).isEmpty());
}

} // namespace
