#pragma once
// Qt's own texts (the file and font dialogs, the standard buttons, the
// editors' context menus) in the user's language. Captions the program sets
// itself are untouched, so "Save as HTML" and "Font" stay as they are.

class QCoreApplication;
class QLocale;

// Installs Qt's base translation for `locale` from Qt's translations
// directory on `application`. False, with nothing installed, when there is
// none for that locale (English, or the translations are not installed).
bool InstallQtTranslations(QCoreApplication& application, const QLocale& locale);
