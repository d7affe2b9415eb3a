#include "app/Form.h"

#include "app/FormWidgets.h"
#include "app/Resources.h"

#include <cstdio>

namespace tolvane::app {

namespace {

bool HasAll(const QWidget* window, const QStringList& required, QString& missing)
{
    for (const QString& name : required) {
        if (!window->findChild<QObject*>(name)) {
            missing = name;
            return false;
        }
    }
    return true;
}

} // namespace

Form::Form(const QString& name, const QStringList& required, QWidget* parent) : QDialog(parent)
{
    QString error;
    bool ok = LoadForm(name, form_, error) && BuildForm(this, form_, error);
    QString missing;
    if (ok && !HasAll(this, required, missing)) {
        error = QStringLiteral("%1: no control %2").arg(name, missing);
        ok = false;
    }
    if (ok)
        return;
    std::fprintf(stderr, "tolvane: form %s: %s; using the built-in form\n", qPrintable(name), qPrintable(error));
    for (QObject* child : children())
        if (child->isWidgetType() || !child->objectName().isEmpty())
            delete child;
    form_ = {};
    InitResources();
    if (!FormFile::Load(QStringLiteral(":/forms/%1.form").arg(name), form_, error) || !BuildForm(this, form_, error))
        qFatal("built-in form %s: %s", qPrintable(name), qPrintable(error));
}

} // namespace tolvane::app
