#include "app/FontPreload.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

#ifdef BQA_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#include <clocale>
#include <system_error>

TFontPreload::TFontPreload()
{
    // The user's locale, as the application object sets it on Unix, set
    // before the thread starts: fontconfig reads the numbers of its
    // configuration by the locale's decimal point, as it did when Qt first
    // called it, and the locale never changes under a thread reading it.
    std::setlocale(LC_ALL, "");
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread: Qt does all of it when the first font is resolved.
        m_configurationRead = true;
    }
}

TFontPreload::~TFontPreload()
{
    Wait();
}

void TFontPreload::Run()
{
#ifdef BQA_HAVE_FONTCONFIG
    // Safe from any thread: the current configuration is set once,
    // atomically.
    FcInit();
#endif
    std::unique_lock lock(m_mutex);
    m_configurationRead = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_next != TNext::Undecided; });
    if (m_next != TNext::FillDatabase)
        return;
    lock.unlock();
    // Every QFontDatabase function is thread-safe; the first one fills the
    // database under Qt's lock, and a GUI thread resolving a font meanwhile
    // waits for that lock instead of filling it a second time.
    (void)QFontDatabase::families();
}

void TFontPreload::FillFontDatabase()
{
    const std::lock_guard lock(m_mutex);
    if (m_next == TNext::Undecided)
        m_next = TNext::FillDatabase;
    m_changed.notify_all();
}

void TFontPreload::WaitForConfiguration()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_configurationRead; });
}

void TFontPreload::Wait()
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_next == TNext::Undecided)
            m_next = TNext::Stop;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void InstallDesignFontSubstitutions()
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("Arimo"), QStringLiteral("Arial"),
                                QStringLiteral("DejaVu Sans Condensed")});
}
