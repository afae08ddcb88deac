#include "platform/ui/DialogService.h"

#include "platform/ui/Application.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QVBoxLayout>

#include <array>
#include <utility>

namespace {

// The font dialog with the colour choice Qt's own dialog lacks: the sixteen
// basic colours plus the initial colour when it is none of them.
class TFontColorDialog : public QDialog {
public:
    TFontColorDialog(QWidget* owner, const TFontChoice& initial)
        : QDialog(owner)
    {
        setWindowTitle(QStringLiteral("Font"));
        m_font = new QFontDialog(this);
        m_font->setWindowFlags(Qt::Widget);
        m_font->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
        m_font->setCurrentFont(initial.font);
        // The font part is a dialog of its own: Esc or Enter in it ends this
        // window, not only the part.
        connect(m_font, &QDialog::accepted, this, &QDialog::accept);
        connect(m_font, &QDialog::rejected, this, &QDialog::reject);

        m_color = new QComboBox(this);
        static const std::array<std::pair<const char*, QRgb>, 16> kBasic = {{
            {"Black", 0x000000}, {"Maroon", 0x800000}, {"Green", 0x008000}, {"Olive", 0x808000},
            {"Navy", 0x000080}, {"Purple", 0x800080}, {"Teal", 0x008080}, {"Gray", 0x808080},
            {"Silver", 0xC0C0C0}, {"Red", 0xFF0000}, {"Lime", 0x00FF00}, {"Yellow", 0xFFFF00},
            {"Blue", 0x0000FF}, {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF}, {"White", 0xFFFFFF},
        }};
        const QColor start = initial.color.isValid() ? initial.color : QColor(Qt::black);
        int current = -1;
        for (const auto& [name, rgb] : kBasic) {
            AddColor(QString::fromLatin1(name), QColor::fromRgb(rgb));
            if ((start.rgb() & 0xFFFFFF) == rgb)
                current = m_color->count() - 1;
        }
        if (current < 0) {
            AddColor(QStringLiteral("Custom"), start);
            current = m_color->count() - 1;
        }
        m_color->setCurrentIndex(current);

        auto* colorRow = new QHBoxLayout;
        colorRow->addWidget(new QLabel(QStringLiteral("Color:"), this));
        colorRow->addWidget(m_color, 1);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        auto* layout = new QVBoxLayout(this);
        layout->addWidget(m_font);
        layout->addLayout(colorRow);
        layout->addWidget(buttons);
    }

    [[nodiscard]] TFontChoice Choice() const
    {
        return TFontChoice{m_font->currentFont(), m_color->currentData().value<QColor>()};
    }

private:
    void AddColor(const QString& name, const QColor& color)
    {
        QPixmap swatch(16, 12);
        swatch.fill(color);
        m_color->addItem(QIcon(swatch), name, color);
    }

    QFontDialog* m_font = nullptr;
    QComboBox* m_color = nullptr;
};

class TQtDialogs final : public TDialogService {
public:
    void ShowMessage(const QString& text) override { Box(QMessageBox::NoIcon, text); }
    void ShowError(const QString& text) override { Box(QMessageBox::Critical, text); }

    bool Confirm(QWidget* owner, const QString& caption, const QString& text) override
    {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel, owner);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::Ok);
        return box.exec() == QMessageBox::Ok;
    }

    std::optional<QString> OpenFile(QWidget* owner, const QString& filter) override
    {
        // A filter shows its description only: "*.* (*)" reads "*.*".
        const QString name = QFileDialog::getOpenFileName(owner, QString(), QString(), filter, nullptr,
                                                          QFileDialog::HideNameFilterDetails);
        return name.isEmpty() ? std::nullopt : std::optional<QString>(name);
    }

    std::optional<QString> SaveFile(QWidget* owner, const QString& filter) override
    {
        const QString name = QFileDialog::getSaveFileName(owner, QString(), QString(), filter, nullptr,
                                                          QFileDialog::DontConfirmOverwrite
                                                              | QFileDialog::HideNameFilterDetails);
        return name.isEmpty() ? std::nullopt : std::optional<QString>(name);
    }

    std::optional<TFontChoice> ChooseFont(QWidget* owner, const TFontChoice& initial) override
    {
        TFontColorDialog dialog(owner, initial);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Choice();
    }

private:
    // Plain text always: a failure message is never markup.
    static void Box(QMessageBox::Icon icon, const QString& text)
    {
        QMessageBox box(icon, BoxTitle(), text, QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
};

std::unique_ptr<TDialogService>& Installed()
{
    static std::unique_ptr<TDialogService> installed;
    return installed;
}

} // namespace

TDialogService& Dialogs()
{
    if (auto& installed = Installed())
        return *installed;
    static TQtDialogs qt;
    return qt;
}

std::unique_ptr<TDialogService> SetDialogService(std::unique_ptr<TDialogService> service)
{
    return std::exchange(Installed(), std::move(service));
}
