#include "app/FormRipOptions.h"

#include "app/Background.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdlib>

namespace tolvane::app {

namespace {

// Far beyond any drive's offset (a few thousand samples), as the offset table allows.
constexpr int LargestOffset = 100 * 588;

} // namespace

FormRipOptions::FormRipOptions(QWidget* parent)
    : Form(QStringLiteral("FormRipOptions"),
           {QStringLiteral("ComboFormat"), QStringLiteral("OptionSecure"), QStringLiteral("OptionBurst"),
            QStringLiteral("TextOffset"), QStringLiteral("CommandOK"), QStringLiteral("CommandCancel")},
           parent)
{
    connect(Control<QPushButton>(QStringLiteral("CommandOK")), &QPushButton::clicked, this,
            &FormRipOptions::Confirm);
    connect(Control<QPushButton>(QStringLiteral("CommandCancel")), &QPushButton::clicked, this,
            &QDialog::reject);
}

bool FormRipOptions::ParseOffset(const QString& text, int& offset)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('+')))
        t.remove(0, 1);
    bool ok = false;
    const int value = t.toInt(&ok);
    if (!ok || std::abs(value) > LargestOffset)
        return false;
    offset = value;
    return true;
}

bool FormRipOptions::Ask(RipChoices& choices)
{
    Control<QComboBox>(QStringLiteral("ComboFormat"))->setCurrentIndex(choices.flac ? 1 : 0);
    Control<QRadioButton>(QStringLiteral("OptionSecure"))->setChecked(choices.secure);
    Control<QRadioButton>(QStringLiteral("OptionBurst"))->setChecked(!choices.secure);
    Control<QLineEdit>(QStringLiteral("TextOffset"))
        ->setText(choices.offset > 0 ? QStringLiteral("+%1").arg(choices.offset)
                                     : QString::number(choices.offset));
    choices_ = choices;
    if (exec() != QDialog::Accepted)
        return false;
    choices = choices_;
    return true;
}

void FormRipOptions::Confirm()
{
    RipChoices c;
    c.flac = Control<QComboBox>(QStringLiteral("ComboFormat"))->currentIndex() == 1;
    c.secure = Control<QRadioButton>(QStringLiteral("OptionSecure"))->isChecked();
    if (!ParseOffset(Control<QLineEdit>(QStringLiteral("TextOffset"))->text(), c.offset)) {
        ShowMessage(this, QStringLiteral("The read offset is a whole number of samples, such as +6 or -1164"),
                    QMessageBox::Warning);
        return;
    }
    choices_ = c;
    accept();
}

} // namespace tolvane::app
