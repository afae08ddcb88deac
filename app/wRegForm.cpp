#include "app/wRegForm.h"

#include "app/Unit1.h"
#include "platform/core/Failure.h"
#include "platform/settings/Registry.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace {

[[nodiscard]] QString Name(const char16_t* name)
{
    return QString::fromUtf16(name);
}

[[nodiscard]] QList<QRect> ScreenRects()
{
    QList<QRect> rects;
    for (const QScreen* screen : QGuiApplication::screens())
        rects.push_back(screen->geometry());
    return rects;
}

} // namespace

QString FormSettingsKey(const QString& formName)
{
    return QStringLiteral("\\SOFTWARE\\Norlet System\\") + formName;
}

int StoredInteger(const QString& text)
{
    // Optional sign, then decimal digits only: no blanks, no other radix.
    bool digits = !text.isEmpty();
    for (qsizetype i = 0; i < text.size() && digits; ++i) {
        const QChar c = text.at(i);
        digits = (c >= u'0' && c <= u'9') || (i == 0 && (c == u'-' || c == u'+') && text.size() > 1);
    }
    bool ok = false;
    const qlonglong value = digits ? text.toLongLong(&ok, 10) : 0;
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw Exception(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return static_cast<int>(value);
}

bool IsOnSomeScreen(const QRect& bounds, const QList<QRect>& screens)
{
    return std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) { return screen.intersects(bounds); });
}

void wRegFormLoad(TfrmQA& form)
{
    TRegistry reg;
    reg.OpenKey(FormSettingsKey(form.objectName()), true);
    // Each value is applied as soon as it is read, so a bad one stops the
    // load with the earlier ones in force.
    if (const QString width = reg.ReadString(Name(kWidthFormValue)); !width.isEmpty())
        form.SetOuterWidth(StoredInteger(width));
    if (const QString height = reg.ReadString(Name(kHeightFormValue)); !height.isEmpty())
        form.SetOuterHeight(StoredInteger(height));
    if (const QString editor = reg.ReadString(Name(kReQueryHeightValue)); !editor.isEmpty())
        form.SetEditorHeight(StoredInteger(editor));
    const QString left = reg.ReadString(Name(kLeftFormValue));
    if (left.isEmpty()) {
        form.SetPlacementCentred();
        return;
    }
    const QString top = reg.ReadString(Name(kTopFormValue));
    if (top.isEmpty()) {
        form.SetPlacementCentred();
        return;
    }
    // Placement as designed, left first: a bad top leaves the left applied.
    const QList<QRect> screens = ScreenRects();
    QPoint pos(StoredInteger(left), form.pos().y());
    form.SetOuterPos(pos);
    try {
        pos.setY(StoredInteger(top));
    } catch (...) {
        if (!IsOnSomeScreen(QRect(pos, form.OuterSize()), screens))
            form.SetPlacementCentred();
        throw;
    }
    // A rectangle off every screen opens centred at its size instead.
    if (IsOnSomeScreen(QRect(pos, form.OuterSize()), screens))
        form.SetOuterPos(pos);
    else
        form.SetPlacementCentred();
}

void wRegFormSave(TfrmQA& form)
{
    TRegistry reg;
    reg.OpenKey(FormSettingsKey(form.objectName()), true);
    const QRect bounds = form.OuterBounds();
    reg.WriteString(Name(kWidthFormValue), QString::number(bounds.width()));
    reg.WriteString(Name(kHeightFormValue), QString::number(bounds.height()));
    reg.WriteString(Name(kLeftFormValue), QString::number(bounds.left()));
    reg.WriteString(Name(kTopFormValue), QString::number(bounds.top()));
    reg.WriteString(Name(kReQueryHeightValue), QString::number(form.EditorHeight()));
}
