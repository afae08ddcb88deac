#pragma once
// Fontconfig's configuration and font cache files, read on a thread of their
// own from the start of main() while the application object loads its
// platform plugin and connects to the display. The first font the main
// window resolves would otherwise read them on the GUI thread; Qt's own
// FcInit() then finds them loaded. Without fontconfig this does nothing.

#include <thread>

class TFontConfigPreload {
public:
    // Starts the read; a thread that cannot start leaves it to Qt.
    TFontConfigPreload();
    // Waits for the read.
    ~TFontConfigPreload();
    TFontConfigPreload(const TFontConfigPreload&) = delete;
    TFontConfigPreload& operator=(const TFontConfigPreload&) = delete;

    // Waits for the read to end; call before the first font is resolved, so
    // the GUI thread never reads the same files a second time alongside.
    void Wait();

private:
    std::thread m_thread;
};
