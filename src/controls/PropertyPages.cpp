#include "controls/PropertyPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPalette>
#include <QScrollBar>
#include <QSignalBlocker>

#include <limits>

namespace tolvane {

namespace {

// The control's public method `name(int)`, or an invalid method when it has none.
QMetaMethod MethodTakingIndex(const QObject* object, const QByteArray& name)
{
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfMethod(QMetaObject::normalizedSignature(name + "(int)"));
    return index < 0 ? QMetaMethod() : meta->method(index);
}

} // namespace

PropertyPage::PropertyPage(const char* elementGetter, const char* applyMember, QWidget* parent)
    : QWidget(parent), elementGetter_(elementGetter), applyMember_(applyMember)
{
    grid_ = new QGridLayout(this);
    auto* indexLabel = new QLabel(tr("Index:"), this);
    textIndex_ = new QLineEdit(this);
    textIndex_->setObjectName(QStringLiteral("TextIndex"));
    textIndex_->setReadOnly(true);
    textIndex_->setMaximumWidth(60);
    // Only the scroll bar chooses the index, so the keyboard goes there and to the fields.
    textIndex_->setFocusPolicy(Qt::NoFocus);
    scrollIndex_ = new QScrollBar(Qt::Horizontal, this);
    scrollIndex_->setObjectName(QStringLiteral("HScrollIndex"));
    scrollIndex_->setRange(0, 0);
    scrollIndex_->setFocusPolicy(Qt::StrongFocus);
    indexLabel->setBuddy(scrollIndex_);
    grid_->addWidget(indexLabel, 0, 0);
    grid_->addWidget(textIndex_, 0, 1);
    grid_->addWidget(scrollIndex_, 0, 2);
    grid_->setColumnStretch(2, 1);
    ShowIndex(0);

    connect(scrollIndex_, &QScrollBar::valueChanged, this, [this](int index) {
        // The new element replaces whatever was typed for the old one.
        ShowIndex(index);
        LoadFields(index);
    });
}

void PropertyPage::AddField(const QString& property, Kind kind, QWidget* widget, const QString& objectName,
                            const QString& caption)
{
    widget->setObjectName(objectName);
    auto* label = new QLabel(caption, this);
    label->setBuddy(widget);
    const int row = grid_->rowCount();
    grid_->addWidget(label, row, 0);
    grid_->addWidget(widget, row, 1, 1, 2);
    fields_.push_back({property, kind, widget});
}

void PropertyPage::AddTextField(const QString& property, const QString& objectName, const QString& caption)
{
    auto* edit = new QLineEdit(this);
    connect(edit, &QLineEdit::textChanged, this, &PropertyPage::FieldEdited);
    AddField(property, Kind::Text, edit, objectName, caption);
}

void PropertyPage::AddNumberField(const QString& property, const QString& objectName, const QString& caption)
{
    auto* edit = new QLineEdit(this);
    edit->setValidator(
        new QIntValidator(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), edit));
    connect(edit, &QLineEdit::textChanged, this, &PropertyPage::FieldEdited);
    AddField(property, Kind::Number, edit, objectName, caption);
}

void PropertyPage::AddComboField(const QString& property, const QString& objectName, const QString& caption,
                                 const QStringList& entries)
{
    auto* combo = new QComboBox(this);
    combo->addItems(entries);
    connect(combo, &QComboBox::currentIndexChanged, this, &PropertyPage::FieldEdited);
    AddField(property, Kind::Combo, combo, objectName, caption);
}

void PropertyPage::AddCheckField(const QString& property, const QString& objectName, const QString& caption)
{
    auto* check = new QCheckBox(this);
    connect(check, &QCheckBox::toggled, this, &PropertyPage::FieldEdited);
    AddField(property, Kind::Check, check, objectName, caption);
}

void PropertyPage::SetSelectedControls(const QList<QObject*>& controls)
{
    controls_.clear();
    for (QObject* control : controls)
        controls_.append(control);

    const int count = Count();
    if (count == 0) {
        EnableFields(false);
    } else {
        EnableFields(true);
        {
            // The range change may move the value; the fields are loaded once, below.
            const QSignalBlocker block(scrollIndex_);
            scrollIndex_->setRange(0, count - 1);
        }
        ShowIndex(scrollIndex_->value());
        LoadFields(scrollIndex_->value());
    }
    SetChanged(false);
}

QList<QObject*> PropertyPage::SelectedControls() const
{
    QList<QObject*> controls;
    for (const QPointer<QObject>& control : controls_)
        if (control)
            controls.append(control.data());
    return controls;
}

int PropertyPage::ElementIndex() const
{
    return scrollIndex_->value();
}

QObject* PropertyPage::Control() const
{
    return controls_.isEmpty() ? nullptr : controls_.first().data();
}

int PropertyPage::Count() const
{
    QObject* control = Control();
    if (!control)
        return 0;
    bool ok = false;
    const int count = control->property("Count").toInt(&ok);
    return ok && count > 0 ? count : 0;
}

QObject* PropertyPage::Element(int index) const
{
    QObject* control = Control();
    if (!control)
        return nullptr;
    const QMetaMethod getter = MethodTakingIndex(control, elementGetter_);
    if (!getter.isValid() || !(getter.returnMetaType().flags() & QMetaType::PointerToQObject))
        return nullptr;
    // The getter returns a pointer to its own element class; its declared type name lets the call
    // through, and any QObject-derived pointer can be received as a QObject pointer.
    QObject* element = nullptr;
    if (!getter.invoke(control, Qt::DirectConnection, QGenericReturnArgument(getter.typeName(), &element),
                       Q_ARG(int, index)))
        return nullptr;
    return element;
}

void PropertyPage::ShowIndex(int index)
{
    textIndex_->setText(QString::number(index));
}

void PropertyPage::LoadFields(int index)
{
    const QObject* element = Element(index);
    if (!element)
        return;
    loading_ = true;
    for (const Field& field : fields_) {
        const QVariant value = element->property(field.property.toLatin1().constData());
        switch (field.kind) {
        case Kind::Text:
        case Kind::Number:
            static_cast<QLineEdit*>(field.widget)->setText(value.toString());
            break;
        case Kind::Combo:
            static_cast<QComboBox*>(field.widget)->setCurrentIndex(value.toInt());
            break;
        case Kind::Check:
            static_cast<QCheckBox*>(field.widget)->setChecked(value.toBool());
            break;
        }
    }
    loading_ = false;
}

void PropertyPage::EnableFields(bool enable)
{
    loading_ = true;
    for (const Field& field : fields_) {
        field.widget->setEnabled(enable);
        if (enable) {
            field.widget->setPalette(QPalette());
            continue;
        }
        // Greyed like the form's own background, so an empty page does not look editable.
        QPalette palette = field.widget->palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
            palette.setColor(group, QPalette::Button, palette.color(group, QPalette::Window));
        }
        field.widget->setPalette(palette);
        if (auto* edit = qobject_cast<QLineEdit*>(field.widget))
            edit->clear();
        else if (auto* combo = qobject_cast<QComboBox*>(field.widget))
            combo->setCurrentIndex(-1);
        else if (auto* check = qobject_cast<QCheckBox*>(field.widget))
            check->setChecked(false);
    }
    loading_ = false;
    if (!enable) {
        const QSignalBlocker block(scrollIndex_);
        scrollIndex_->setRange(0, 0);
        ShowIndex(0);
    }
    scrollIndex_->setEnabled(enable);
}

void PropertyPage::FieldEdited()
{
    if (!loading_)
        SetChanged(true);
}

void PropertyPage::SetChanged(bool changed)
{
    if (changed_ == changed)
        return;
    changed_ = changed;
    emit ChangedChanged(changed);
}

void PropertyPage::ApplyChanges()
{
    QObject* control = Control();
    const int index = ElementIndex();
    QObject* element = Count() > 0 ? Element(index) : nullptr;
    if (!element)
        return;

    // One update for the whole element instead of one per property.
    control->setProperty("PreventUpdate", true);
    for (const Field& field : fields_) {
        const QByteArray name = field.property.toLatin1();
        switch (field.kind) {
        case Kind::Text:
            element->setProperty(name.constData(), static_cast<QLineEdit*>(field.widget)->text());
            break;
        case Kind::Number: {
            bool ok = false;
            const int value = static_cast<QLineEdit*>(field.widget)->text().trimmed().toInt(&ok);
            if (ok)
                element->setProperty(name.constData(), value);
            break;
        }
        case Kind::Combo:
            element->setProperty(name.constData(), static_cast<QComboBox*>(field.widget)->currentIndex());
            break;
        case Kind::Check:
            element->setProperty(name.constData(), static_cast<QCheckBox*>(field.widget)->isChecked());
            break;
        }
    }
    control->setProperty("PreventUpdate", false);

    const QMetaMethod update = MethodTakingIndex(control, applyMember_);
    if (update.isValid())
        update.invoke(control, Qt::DirectConnection, Q_ARG(int, index));
    SetChanged(false);
}

ColumnsPage::ColumnsPage(QWidget* parent) : PropertyPage("Column", "UpdateColumns", parent)
{
    setObjectName(QStringLiteral("Columns"));
    AddTextField(QStringLiteral("Text"), QStringLiteral("TextText"), tr("Text:"));
    AddNumberField(QStringLiteral("ActualWidth"), QStringLiteral("TextActualwidth"), tr("ActualWidth:"));
    AddComboField(
        QStringLiteral("Alignment"), QStringLiteral("ComboAlignment"), tr("Alignment:"),
        {QStringLiteral("0 - lvwLeft"), QStringLiteral("1 - lvwRight"), QStringLiteral("2 - lvwCenter")});
    AddTextField(QStringLiteral("ToolTipText"), QStringLiteral("TextTooltiptext"), tr("ToolTipText:"));
    AddTextField(QStringLiteral("Tag"), QStringLiteral("TextTag"), tr("Tag:"));
}

PanelsPage::PanelsPage(QWidget* parent) : PropertyPage("Panel", "UpdatePanels", parent)
{
    setObjectName(QStringLiteral("Panels"));
    AddTextField(QStringLiteral("Text"), QStringLiteral("TextText"), tr("Text:"));
    AddNumberField(QStringLiteral("MinWidth"), QStringLiteral("TextMinwidth"), tr("MinWidth:"));
    AddComboField(
        QStringLiteral("Alignment"), QStringLiteral("ComboAlignment"), tr("Alignment:"),
        {QStringLiteral("0 - sbrLeft"), QStringLiteral("1 - sbrCenter"), QStringLiteral("2 - sbrRight")});
    AddComboField(QStringLiteral("AutoSize"), QStringLiteral("ComboAutosize"), tr("AutoSize:"),
                  {QStringLiteral("0 - sbrNoAutoSize"), QStringLiteral("1 - sbrSpring"),
                   QStringLiteral("2 - sbrContents")});
    AddComboField(
        QStringLiteral("Bevel"), QStringLiteral("ComboBevel"), tr("Bevel:"),
        {QStringLiteral("0 - sbrNoBevel"), QStringLiteral("1 - sbrInset"), QStringLiteral("2 - sbrRaised")});
    AddCheckField(QStringLiteral("Visible"), QStringLiteral("CheckVisible"), tr("Visible:"));
    AddTextField(QStringLiteral("ToolTipText"), QStringLiteral("TextTooltiptext"), tr("ToolTipText:"));
    AddTextField(QStringLiteral("Tag"), QStringLiteral("TextTag"), tr("Tag:"));
}

SystemMenuItemsPage::SystemMenuItemsPage(QWidget* parent)
    : PropertyPage("SystemMenuItem", "UpdateSystemMenuItems", parent)
{
    setObjectName(QStringLiteral("SystemMenuItems"));
    AddTextField(QStringLiteral("Text"), QStringLiteral("TextText"), tr("Text:"));
    AddComboField(QStringLiteral("Style"), QStringLiteral("ComboStyle"), tr("Style:"),
                  {QStringLiteral("0 - smDefault"), QStringLiteral("1 - smSeparator")});
    AddCheckField(QStringLiteral("Checked"), QStringLiteral("CheckChecked"), tr("Checked:"));
    AddCheckField(QStringLiteral("Enabled"), QStringLiteral("CheckEnabled"), tr("Enabled:"));
    AddTextField(QStringLiteral("Tag"), QStringLiteral("TextTag"), tr("Tag:"));
}

} // namespace tolvane
