#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

bool InstallQtTranslations(QCoreApplication& application, const QLocale& locale)
{
    auto translator = std::make_unique<QTranslator>(&application);
    // Looks for qtbase_<language>_<territory>.qm, then qtbase_<language>.qm,
    // for each of the locale's UI languages in turn.
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator.get()))
        return false;
    translator.release();   // owned by the application
    return true;
}
