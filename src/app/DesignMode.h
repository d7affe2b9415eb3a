// The maintainers' design mode (`tolvane --design FORM`): a window's form shown live, with a
// designer beside it that lists the form's controls, edits their columns, panels and menu items on
// the property pages, and saves the form file.
//
// The form is built from its form file alone onto a plain dialog, not the window class, so no
// drives or discs are needed; its controls are live and in their design-time behaviour.
#pragma once

#include "controls/PropertyBag.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class QDialogButtonBox;
class QPushButton;
class QTreeWidget;

namespace tolvane {
class PropertyPage;
}

namespace tolvane::app {

// The names of the forms that design mode opens.
QStringList DesignFormNames();

// A property page in a dialog with OK, Cancel and Apply; Apply is offered while the page has edits.
class PropertyPageDialog : public QDialog {
    Q_OBJECT
public:
    // Takes `page` and selects `control` on it.
    PropertyPageDialog(PropertyPage* page, QObject* control, const QString& title, QWidget* parent = nullptr);

    PropertyPage* Page() const { return page_; }
    QDialogButtonBox* Buttons() const { return buttons_; }

private:
    PropertyPage* page_;
    QDialogButtonBox* buttons_;
};

class DesignWindow : public QWidget {
    Q_OBJECT
public:
    explicit DesignWindow(QWidget* parent = nullptr);
    ~DesignWindow() override;

    // Loads form `name` (the compiled-in one, or its replacement in TOLVANE_FORMS_DIR) and builds it;
    // false with the reason in `error` for an unknown name or a form that cannot be read or built.
    bool Open(const QString& name, QString& error);

    const QString& FormName() const { return name_; }
    // The live form, nullptr before Open.
    QDialog* FormWindow() const { return form_.get(); }
    // The form file as it was opened.
    const FormFile& Original() const { return original_; }
    // The control list: one row per control, its section name and type.
    QTreeWidget* ControlList() const { return list_; }

    // The property page dialog for control `name`; nullptr for a control without a property page.
    std::unique_ptr<PropertyPageDialog> CreatePropertiesDialog(const QString& name);
    // The form as it now stands, written to `path`.
    bool SaveForm(const QString& path, QString& error) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QString SelectedControl() const;
    void ShowProperties();
    void SaveAs();
    void UpdateButtons();

    QString name_;
    FormFile original_;
    std::unique_ptr<QDialog> form_;
    QTreeWidget* list_;
    QPushButton* properties_;
    QPushButton* saveAs_;
};

// Runs design mode for form `formName` until its windows close; the process's exit code. An unknown
// name lists the valid ones on stderr and gives 2, a form that cannot be built 1.
int RunDesignMode(const QString& formName);

} // namespace tolvane::app
