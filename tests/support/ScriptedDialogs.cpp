#include "tests/support/ScriptedDialogs.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

const char* DialogKindName(TDialogKind kind)
{
    switch (kind) {
    case TDialogKind::Message: return "message";
    case TDialogKind::Error: return "error";
    case TDialogKind::Confirm: return "confirm";
    case TDialogKind::OpenFile: return "open file";
    case TDialogKind::SaveFile: return "save file";
    case TDialogKind::Font: return "font";
    }
    return "?";
}

template <class T>
T TScriptedDialogs::Take(std::deque<T>& queue, const TDialogCall& call)
{
    if (queue.empty()) {
        const QString what = QStringLiteral("unscripted %1 dialog (caption \"%2\", text \"%3\", filter \"%4\")")
                                 .arg(QString::fromLatin1(DialogKindName(call.kind)), call.caption, call.text, call.filter);
        m_unanswered << what;
        throw TUnscriptedDialog(what);
    }
    T answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

void TScriptedDialogs::ShowMessage(const QString& text)
{
    log.push_back(TDialogCall{TDialogKind::Message, text, {}, {}, nullptr, {}});
}

void TScriptedDialogs::ShowError(const QString& text)
{
    log.push_back(TDialogCall{TDialogKind::Error, text, {}, {}, nullptr, {}});
}

bool TScriptedDialogs::Confirm(QWidget* owner, const QString& caption, const QString& text)
{
    log.push_back(TDialogCall{TDialogKind::Confirm, text, caption, {}, owner, {}});
    return Take(m_confirms, log.back());
}

std::optional<QString> TScriptedDialogs::OpenFile(QWidget* owner, const QString& filter)
{
    log.push_back(TDialogCall{TDialogKind::OpenFile, {}, {}, filter, owner, {}});
    return Take(m_openFiles, log.back());
}

std::optional<QString> TScriptedDialogs::SaveFile(QWidget* owner, const QString& filter)
{
    log.push_back(TDialogCall{TDialogKind::SaveFile, {}, {}, filter, owner, {}});
    return Take(m_saveFiles, log.back());
}

std::optional<TFontChoice> TScriptedDialogs::ChooseFont(QWidget* owner, const TFontChoice& initial)
{
    log.push_back(TDialogCall{TDialogKind::Font, {}, {}, {}, owner, initial});
    return Take(m_fonts, log.back());
}

QStringList TScriptedDialogs::Texts(TDialogKind kind) const
{
    QStringList texts;
    for (const TDialogCall& call : log)
        if (call.kind == kind)
            texts << call.text;
    return texts;
}

std::size_t TScriptedDialogs::Count(TDialogKind kind) const
{
    std::size_t n = 0;
    for (const TDialogCall& call : log)
        n += call.kind == kind ? 1 : 0;
    return n;
}

std::size_t TScriptedDialogs::PendingAnswers() const
{
    return m_confirms.size() + m_openFiles.size() + m_saveFiles.size() + m_fonts.size();
}

TScopedDialogs::TScopedDialogs()
{
    auto scripted = std::make_unique<TScriptedDialogs>();
    m_scripted = scripted.get();
    m_previous = SetDialogService(std::move(scripted));
}

TScopedDialogs::~TScopedDialogs()
{
    const QStringList unanswered = m_scripted->Unanswered();
    SetDialogService(std::move(m_previous));
    if (!unanswered.isEmpty() && std::uncaught_exceptions() == 0) {
        for (const QString& what : unanswered)
            std::fprintf(stderr, "TScopedDialogs: %s\n", what.toLocal8Bit().constData());
        std::fflush(stderr);
        std::abort();
    }
}
