#include "app/FormAbout.h"

#include "app/Background.h"
#include "app/FormWidgets.h"

#include <QDesktopServices>
#include <QPushButton>

namespace tolvane::app {

namespace {

FormAbout::UrlOpener& Opener()
{
    static FormAbout::UrlOpener opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

} // namespace

FormAbout::FormAbout(QWidget* parent)
    : Form(QStringLiteral("FormAbout"),
           {QStringLiteral("ImageIcon"), QStringLiteral("LabelApplication"), QStringLiteral("LabelCopyright"),
            QStringLiteral("LabelWebsite"), QStringLiteral("CommandOK")},
           parent)
{
    auto* website = Control<Label>(QStringLiteral("LabelWebsite"));
    website->setCursor(Qt::PointingHandCursor);
    // It reads as what it is: a link.
    QFont font = website->font();
    font.setUnderline(true);
    website->setFont(font);
    QPalette palette = website->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    website->setPalette(palette);
    connect(website, &Label::Click, this, &FormAbout::OpenWebsite);
    connect(Control<QPushButton>(QStringLiteral("CommandOK")), &QPushButton::clicked, this, &QDialog::accept);
}

void FormAbout::SetUrlOpener(UrlOpener opener)
{
    Opener() = std::move(opener);
}

void FormAbout::showEvent(QShowEvent* event)
{
    auto* image = Control<Label>(QStringLiteral("ImageIcon"));
    image->setPixmap(icon_.pixmap(image->size()));
    Control<QLabel>(QStringLiteral("LabelApplication"))->setText(application_);
    Control<QLabel>(QStringLiteral("LabelCopyright"))->setText(copyright_);
    auto* website = Control<Label>(QStringLiteral("LabelWebsite"));
    website->setText(website_);
    // Only the text itself is clickable.
    website->resize(website->fontMetrics().horizontalAdvance(website_), website->height());
    Form::showEvent(event);
}

void FormAbout::OpenWebsite()
{
    const QString text = Control<QLabel>(QStringLiteral("LabelWebsite"))->text();
    if (text.isEmpty())
        return;
    WaitCursor wait;
    Opener()(QUrl(text)); // a failure of the browser is not reported
}

} // namespace tolvane::app
