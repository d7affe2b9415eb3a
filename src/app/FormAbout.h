// The about box: the program's icon, name and version, copyright and web address.
#pragma once

#include "app/Form.h"

#include <QIcon>
#include <QUrl>

#include <functional>

namespace tolvane::app {

class FormAbout : public Form {
    Q_OBJECT
public:
    explicit FormAbout(QWidget* parent = nullptr);

    QString Application() const { return application_; }
    void SetApplication(const QString& v) { application_ = v; }
    QString Copyright() const { return copyright_; }
    void SetCopyright(const QString& v) { copyright_ = v; }
    QIcon Icon2() const { return icon_; }
    void SetIcon2(const QIcon& v) { icon_ = v; }
    QString Website() const { return website_; }
    void SetWebsite(const QString& v) { website_ = v; }

    // How the web address is opened (the system's browser); tests replace it.
    using UrlOpener = std::function<bool(const QUrl&)>;
    static void SetUrlOpener(UrlOpener opener);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OpenWebsite();

    QString application_;
    QString copyright_;
    QIcon icon_;
    QString website_;
};

} // namespace tolvane::app
