#pragma once
// The fonts' start-up work done ahead on a thread of its own. From the start
// of main(), while the application object loads its platform plugin and
// connects to the display, fontconfig reads its configuration and font
// cache files; once the application object exists, Qt's font database is
// filled from them while the main window builds its menus and toolbar. The
// first font the window resolves would otherwise do both on the GUI thread.
// Qt's FcInit() finds the configuration loaded, and Qt's font database takes
// its own lock, so the window waits for nothing it would not have done.
// Without fontconfig only the database is filled ahead.

#include <condition_variable>
#include <mutex>
#include <thread>

class TFontPreload {
public:
    // Sets the user's locale (setlocale(LC_ALL, ""), as the application
    // object does later) and starts the configuration read; a thread that
    // cannot start leaves all of it to Qt.
    TFontPreload();
    // Waits for the thread (Wait()).
    ~TFontPreload();
    TFontPreload(const TFontPreload&) = delete;
    TFontPreload& operator=(const TFontPreload&) = delete;

    // The application object exists: Qt's font database is filled after the
    // configuration read. Without this call the thread ends after the read.
    void FillFontDatabase();
    // Waits for the configuration read; call before the first font is
    // resolved, so that the GUI thread never reads the same files alongside.
    void WaitForConfiguration();
    // Waits for the thread to end; call before the application object goes.
    // A database fill not asked for by then is not made.
    void Wait();

private:
    enum class TNext { Undecided, FillDatabase, Stop };
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_configurationRead = false;   // under m_mutex
    TNext m_next = TNext::Undecided;    // under m_mutex
    std::thread m_thread;
};

// The design font is a narrow bitmap face; where it is missing, faces of
// similar width stand in, so the captions fit their buttons.
void InstallDesignFontSubstitutions();
