#include "query/untPwd.h"

#include "platform/core/Failure.h"
#include "platform/ui/Application.h"
#include "query/WindowPlacement.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

TfrmPwd* frmPwd = nullptr;

namespace {

[[nodiscard]] QString SqlLiteralText(QString text)
{
    return text.replace(u'\'', QStringLiteral("''"));
}

} // namespace

QString TrimPassword(const QString& password)
{
    qsizetype first = 0;
    qsizetype last = password.size();
    while (first < last && password.at(first).unicode() <= 0x20)
        ++first;
    while (last > first && password.at(last - 1).unicode() <= 0x20)
        --last;
    return password.mid(first, last - first);
}

QString PasswordStatement(const QString& login, const QString& password)
{
    return QStringLiteral("--Изменение пароля") + u'\r' + QStringLiteral("EXECUTE sp_password null, '")
        + SqlLiteralText(password) + u'\'' + u',' + u'\'' + SqlLiteralText(login) + u'\'';
}

TfrmPwd::TfrmPwd(TPasswordHost host, QWidget* parent) : QWidget(parent, Qt::Window), m_host(std::move(host))
{
    setObjectName(QStringLiteral("frmPwd"));
    setWindowTitle(QStringLiteral("Изменить пароль"));
    // Close action "free"; a top-level window of its own, so it has its own
    // taskbar entry; closing it never ends the program.
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);

    pnlClient = new QWidget(this);
    pnlClient->setObjectName(QStringLiteral("pnlClient"));
    lbUser = new QLabel(QStringLiteral("Пользователь"), pnlClient);
    edUser = new QLineEdit(QStringLiteral("sa"), pnlClient);
    edUser->setObjectName(QStringLiteral("edUser"));
    lbPwd = new QLabel(QStringLiteral("Новый пароль"), pnlClient);
    edPwd = new QLineEdit(pnlClient);
    edPwd->setObjectName(QStringLiteral("edPwd"));
    // Shown in clear: it ends up in the editor as clear text anyway.
    edPwd->setEchoMode(QLineEdit::Normal);
    lbUser->setBuddy(edUser);
    lbPwd->setBuddy(edPwd);
    auto* fields = new QVBoxLayout(pnlClient);
    fields->setContentsMargins(16, 12, 16, 8);
    fields->addWidget(lbUser);
    fields->addWidget(edUser);
    fields->addSpacing(8);
    fields->addWidget(lbPwd);
    fields->addWidget(edPwd);

    pnlBottom = new QWidget(this);
    pnlBottom->setObjectName(QStringLiteral("pnlBottom"));
    pnlBottom->setFixedHeight(kPanelHeight);
    bbOk = new QPushButton(QStringLiteral("Применить"), pnlBottom);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbNone = new QPushButton(QStringLiteral("Отмена"), pnlBottom);
    bbNone->setObjectName(QStringLiteral("bbNone"));
    for (QPushButton* button : {bbOk, bbNone})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout(pnlBottom);
    buttons->setContentsMargins(16, 8, 16, 8);
    buttons->addWidget(bbOk);
    buttons->addStretch(1);
    buttons->addWidget(bbNone);
    ConnectGuarded(bbOk, &QPushButton::clicked, this, &TfrmPwd::bbOkClick);
    ConnectGuarded(bbNone, &QPushButton::clicked, this, &TfrmPwd::bbNoneClick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pnlClient, 1);
    layout->addWidget(pnlBottom);

    // The design size, frame included; never smaller than its content.
    PlaceAtOuterSize(*this, QSize(kDesignWidth, kDesignHeight));
}

TfrmPwd::~TfrmPwd()
{
    if (frmPwd == this)
        frmPwd = nullptr;
}

void TfrmPwd::ShowForward()
{
    BringForward(*this);
}

void TfrmPwd::bbOkClick(QObject*)
{
    if (!m_host.setEditorText || !m_host.runQuery)
        throw Exception(QStringLiteral("frmPwd: no main window"));
    const QString statement = PasswordStatement(edUser->text(), TrimPassword(edPwd->text()));
    m_host.setEditorText(statement);
    {
        m_running = true;
        const auto ended = qScopeGuard([this] {
            m_running = false;
            if (std::exchange(m_closePending, false))
                QTimer::singleShot(0, this, &QWidget::close);
        });
        m_host.runQuery();
    }
    close();
}

void TfrmPwd::bbNoneClick(QObject*)
{
    close();
}

void TfrmPwd::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        m_closePending = true;
        event->ignore();
        return;
    }
    Guarded([this] { FormClose(this); });
    event->accept();
}

void TfrmPwd::FormClose(QObject*)
{
    if (frmPwd == this)
        frmPwd = nullptr;
}
