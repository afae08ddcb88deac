#pragma once
// Runs one user-interface handler: a failure it raises goes to the default
// failure handler (an error box under the application's title), the silent
// abort ends it quietly. Nothing escapes.

#include "platform/DialogService.h"
#include "platform/Failure.h"

#include <exception>

template <typename F> void Guard(F&& handler)
{
    try {
        handler();
    } catch (const EAbort&) {
    } catch (const Exception& e) {
        QString text = e.Message();
        if (!text.isEmpty() && text.back() > u'.')
            text += u'.';
        Dialogs().ShowError(text);
    } catch (const std::exception& e) {
        Dialogs().ShowError(QString::fromLocal8Bit(e.what()));
    }
}
