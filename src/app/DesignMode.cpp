#include "app/DesignMode.h"

#include "app/FormWidgets.h"
#include "controls/ListView.h"
#include "controls/PropertyPages.h"
#include "controls/StatusBar.h"
#include "controls/SystemMenu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

namespace tolvane::app {

namespace {

// The property page that edits controls of form-file type `type`, nullptr when none does.
PropertyPage* CreatePage(const QString& type)
{
    if (type == QLatin1String("ListView"))
        return new ColumnsPage;
    if (type == QLatin1String("StatusBar"))
        return new PanelsPage;
    if (type == QLatin1String("SystemMenu"))
        return new SystemMenuItemsPage;
    return nullptr;
}

bool HasPage(const QString& type)
{
    return type == QLatin1String("ListView") || type == QLatin1String("StatusBar") ||
           type == QLatin1String("SystemMenu");
}

} // namespace

QStringList DesignFormNames()
{
    return {QStringLiteral("FormTolvane"), QStringLiteral("FormSelectDevice"),
            QStringLiteral("FormInformation"), QStringLiteral("FormExtracting"), QStringLiteral("FormAbout")};
}

PropertyPageDialog::PropertyPageDialog(PropertyPage* page, QObject* control, const QString& title,
                                       QWidget* parent)
    : QDialog(parent), page_(page)
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    page_->setParent(this);
    layout->addWidget(page_);
    buttons_ =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    layout->addWidget(buttons_);

    QPushButton* apply = buttons_->button(QDialogButtonBox::Apply);
    apply->setEnabled(false);
    connect(page_, &PropertyPage::ChangedChanged, apply, &QPushButton::setEnabled);
    connect(apply, &QPushButton::clicked, page_, &PropertyPage::ApplyChanges);
    connect(buttons_, &QDialogButtonBox::accepted, this, [this] {
        if (page_->Changed())
            page_->ApplyChanges();
        accept();
    });
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    page_->SetSelectedControls({control});
}

DesignWindow::DesignWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(tr("Tolvane design mode"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Controls:"), this));
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("ListControls"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({tr("Name"), tr("Type")});
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(list_);

    auto* buttons = new QHBoxLayout;
    properties_ = new QPushButton(tr("Properties..."), this);
    properties_->setObjectName(QStringLiteral("CommandProperties"));
    saveAs_ = new QPushButton(tr("Save As..."), this);
    saveAs_->setObjectName(QStringLiteral("CommandSaveas"));
    auto* close = new QPushButton(tr("Close"), this);
    buttons->addWidget(properties_);
    buttons->addWidget(saveAs_);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(list_, &QTreeWidget::currentItemChanged, this, &DesignWindow::UpdateButtons);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &DesignWindow::ShowProperties);
    connect(properties_, &QPushButton::clicked, this, &DesignWindow::ShowProperties);
    connect(saveAs_, &QPushButton::clicked, this, &DesignWindow::SaveAs);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    UpdateButtons();
    resize(320, 360);
}

DesignWindow::~DesignWindow() = default;

bool DesignWindow::Open(const QString& name, QString& error)
{
    if (!DesignFormNames().contains(name)) {
        error = QStringLiteral("unknown form %1").arg(name);
        return false;
    }
    FormFile form;
    if (!LoadForm(name, form, error))
        return false;
    auto window = std::make_unique<QDialog>();
    if (!BuildForm(window.get(), form, error))
        return false;
    // The controls as the designer shows them: no tool tips, sorting, clicks or menu items.
    for (ListView* control : window->findChildren<ListView*>())
        control->SetDesignMode(true);
    for (StatusBar* control : window->findChildren<StatusBar*>())
        control->SetDesignMode(true);
    for (SystemMenu* control : window->findChildren<SystemMenu*>())
        control->SetDesignMode(true);

    name_ = name;
    original_ = std::move(form);
    form_ = std::move(window);
    list_->clear();
    for (const FormSection& section : original_.sections) {
        if (section.type == QLatin1String("Form"))
            continue;
        new QTreeWidgetItem(list_, {section.name, section.type});
    }
    setWindowTitle(tr("Tolvane design mode: %1").arg(name_));
    UpdateButtons();
    return true;
}

std::unique_ptr<PropertyPageDialog> DesignWindow::CreatePropertiesDialog(const QString& name)
{
    const FormSection* section = original_.Find(name);
    QObject* control = form_ && section ? form_->findChild<QObject*>(name) : nullptr;
    if (!control)
        return nullptr;
    PropertyPage* page = CreatePage(section->type);
    if (!page)
        return nullptr;
    return std::make_unique<PropertyPageDialog>(page, control, tr("%1 Properties").arg(name), this);
}

bool DesignWindow::SaveForm(const QString& path, QString& error) const
{
    if (!form_) {
        error = QStringLiteral("no form is open");
        return false;
    }
    return CaptureForm(form_.get(), original_).Save(path, error);
}

void DesignWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!form_ || form_->isVisible())
        return;
    // The form to the right of the designer, where it does not cover the list.
    form_->move(frameGeometry().topRight() + QPoint(16, 0));
    form_->show();
}

void DesignWindow::closeEvent(QCloseEvent* event)
{
    if (form_)
        form_->close();
    QWidget::closeEvent(event);
}

QString DesignWindow::SelectedControl() const
{
    const QTreeWidgetItem* item = list_->currentItem();
    return item ? item->text(0) : QString();
}

void DesignWindow::UpdateButtons()
{
    const QTreeWidgetItem* item = list_->currentItem();
    properties_->setEnabled(item && HasPage(item->text(1)));
    saveAs_->setEnabled(form_ != nullptr);
}

void DesignWindow::ShowProperties()
{
    if (std::unique_ptr<PropertyPageDialog> dialog = CreatePropertiesDialog(SelectedControl()))
        dialog->exec();
}

void DesignWindow::SaveAs()
{
    const QString folder = qEnvironmentVariable("TOLVANE_FORMS_DIR", QDir::currentPath());
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Form As"),
                                                      QDir(folder).filePath(name_ + QStringLiteral(".form")),
                                                      tr("Form files (*.form);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!SaveForm(path, error))
        QMessageBox::critical(this, windowTitle(), tr("The form could not be saved.\n%1").arg(error));
}

int RunDesignMode(const QString& formName)
{
    const QStringList names = DesignFormNames();
    if (!names.contains(formName)) {
        std::fprintf(stderr, "tolvane: unknown form %s; the forms are %s\n", qPrintable(formName),
                     qPrintable(names.join(QStringLiteral(", "))));
        return 2;
    }
    DesignWindow designer;
    QString error;
    if (!designer.Open(formName, error)) {
        std::fprintf(stderr, "tolvane: form %s: %s\n", qPrintable(formName), qPrintable(error));
        return 1;
    }
    designer.show();
    return QApplication::exec();
}

} // namespace tolvane::app
