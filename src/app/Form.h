// A window whose controls come from its form file.
#pragma once

#include "controls/PropertyBag.h"

#include <QDialog>
#include <QStringList>

namespace tolvane::app {

class Form : public QDialog {
    Q_OBJECT
public:
    // Builds the controls of form `name`. A replacement form (TOLVANE_FORMS_DIR) that cannot be
    // read or lacks one of `required` is reported on stderr and the compiled-in form is used.
    Form(const QString& name, const QStringList& required, QWidget* parent = nullptr);

    const FormFile& Description() const { return form_; }

    // The control named `name` (the window's code relies on the form providing it).
    template <typename T>
    T* Control(const QString& name) const
    {
        return findChild<T*>(name);
    }

private:
    FormFile form_;
};

} // namespace tolvane::app
