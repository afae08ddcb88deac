#include "platform/ui/Application.h"

#include "platform/ui/DialogService.h"
#include "platform/core/Failure.h"

#include <QFileInfo>
#include <QScreen>
#include <QWidget>

#include <cstdio>

QString ApplicationTitle(const QString& executablePath)
{
    const qsizetype slash = executablePath.lastIndexOf(QLatin1Char('/'));
    QString name = executablePath.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

namespace {

// The name the program was started under (argv[0]), not the target of a
// link to it.
QString ExecutablePath()
{
    if (!QCoreApplication::instance())
        return QString();
    const QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty() && !arguments.constFirst().isEmpty())
        return arguments.constFirst();
    return QCoreApplication::applicationFilePath();
}

} // namespace

QString BoxTitle()
{
    const QString name = QCoreApplication::applicationName();
    if (!name.isEmpty())
        return name;
    return ApplicationTitle(ExecutablePath());
}

QString FailureBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

namespace {

void ShowFailureText(const QString& text) noexcept
{
    try {
        Dialogs().ShowError(FailureBoxText(text));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failure while reporting \"%s\": %s\n", text.toLocal8Bit().constData(), e.what());
    } catch (...) {
        std::fprintf(stderr, "failure while reporting \"%s\"\n", text.toLocal8Bit().constData());
    }
}

} // namespace

void HandleFailure(const std::exception& e) noexcept
{
    if (dynamic_cast<const EAbort*>(&e))
        return;
    if (const auto* failure = dynamic_cast<const Exception*>(&e)) {
        ShowFailureText(failure->Message());
        return;
    }
    QString text;
    try {
        text = QString::fromUtf8(e.what());
    } catch (...) {
    }
    ShowFailureText(text);
}

void HandleUnknownFailure() noexcept
{
    ShowFailureText(QStringLiteral("Unknown failure"));
}

void InstallApplication(QApplication& application)
{
    application.setApplicationName(ApplicationTitle(ExecutablePath()));
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    InstallApplication(*this);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    bool result = false;
    Guarded([&] { result = QApplication::notify(receiver, event); });
    return result;
}

void CentreOnItsScreen(QWidget& window)
{
    const QScreen* target = window.screen();
    if (!target)
        return;
    const QRect area = target->geometry();
    const QSize outer = window.frameGeometry().size();
    window.move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

void BringForward(QWidget& window)
{
    window.show();
    if (window.isMinimized())
        window.showNormal();
    window.raise();
    window.activateWindow();
}
