#include "app/FontConfigPreload.h"

#ifdef BQA_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#include <system_error>

TFontConfigPreload::TFontConfigPreload()
{
#ifdef BQA_HAVE_FONTCONFIG
    try {
        // FcInit() is safe from any thread; the current configuration is
        // set once, atomically.
        m_thread = std::thread([] { FcInit(); });
    } catch (const std::system_error&) {
        // No thread: Qt reads the configuration itself when first needed.
    }
#endif
}

TFontConfigPreload::~TFontConfigPreload()
{
    Wait();
}

void TFontConfigPreload::Wait()
{
    if (m_thread.joinable())
        m_thread.join();
}
