#include "app/FormWidgets.h"

#include "app/Resources.h"

#include "controls/InfoFrame.h"
#include "controls/ListView.h"
#include "controls/ProgressBar.h"
#include "controls/StatusBar.h"
#include "controls/SystemColors.h"
#include "controls/SystemMenu.h"
#include "util/Colors.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>

#include <algorithm>
#include <cstdlib>

namespace tolvane::app {

void Label::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit Click();
    QLabel::mousePressEvent(event);
}

Line::Line(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Line::SetX1(int v)
{
    x1_ = v;
    Place();
}
void Line::SetY1(int v)
{
    y1_ = v;
    Place();
}
void Line::SetX2(int v)
{
    x2_ = v;
    Place();
}
void Line::SetY2(int v)
{
    y2_ = v;
    Place();
}
void Line::SetBorderColor(quint32 v)
{
    color_ = v;
    update();
}

void Line::Place()
{
    setGeometry(std::min(x1_, x2_), std::min(y1_, y2_), std::abs(x2_ - x1_) + 1, std::abs(y2_ - y1_) + 1);
    update();
}

void Line::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(OleColor(color_));
    const QPoint origin = geometry().topLeft();
    painter.drawLine(QPoint(x1_, y1_) - origin, QPoint(x2_, y2_) - origin);
}

namespace {

void ApplyGeometry(QWidget* widget, const PropertyBag& bag)
{
    const int left = static_cast<int>(bag.ReadInt(QStringLiteral("Left"), widget->x()));
    const int top = static_cast<int>(bag.ReadInt(QStringLiteral("Top"), widget->y()));
    const int width = static_cast<int>(bag.ReadInt(QStringLiteral("Width"), widget->width()));
    const int height = static_cast<int>(bag.ReadInt(QStringLiteral("Height"), widget->height()));
    widget->setGeometry(left, top, width, height);
}

void WriteGeometry(const QWidget* widget, PropertyBag& bag)
{
    bag.Write(QStringLiteral("Left"), widget->x());
    bag.Write(QStringLiteral("Top"), widget->y());
    bag.Write(QStringLiteral("Width"), widget->width());
    bag.Write(QStringLiteral("Height"), widget->height());
}

QIcon Picture(const PropertyBag& bag, const QString& key)
{
    const QString path = bag.ReadString(key);
    return path.isEmpty() ? QIcon() : QIcon(path);
}

template <typename Control> QWidget* MakeControl(QWidget* window, const FormSection& section)
{
    auto* control = new Control(window);
    control->setObjectName(section.name);
    control->ReadProperties(section.bag);
    ApplyGeometry(control, section.bag);
    return control;
}

} // namespace

bool BuildForm(QWidget* window, const FormFile& form, QString& error)
{
    for (const FormSection& section : form.sections) {
        const PropertyBag& bag = section.bag;
        QWidget* widget = nullptr;
        if (section.type == QLatin1String("Form")) {
            window->setObjectName(section.name);
            window->setWindowTitle(bag.ReadString(QStringLiteral("Caption")));
            window->resize(static_cast<int>(bag.ReadInt(QStringLiteral("Width"), window->width())),
                           static_cast<int>(bag.ReadInt(QStringLiteral("Height"), window->height())));
            // 2 sizable, 3 fixed dialog: read by name by the controls (the status bar's size grip).
            window->setProperty("BorderStyle",
                                static_cast<int>(bag.ReadInt(QStringLiteral("BorderStyle"), 2)));
            if (bag.Contains(QStringLiteral("Icon")))
                window->setWindowIcon(Picture(bag, QStringLiteral("Icon")));
            continue;
        }
        if (section.type == QLatin1String("CommandButton")) {
            auto* button = new QPushButton(bag.ReadString(QStringLiteral("Caption")), window);
            button->setIcon(Picture(bag, QStringLiteral("Picture")));
            button->setIconSize(QSize(24, 24));
            button->setAutoDefault(false);
            button->setDefault(bag.ReadBool(QStringLiteral("Default"), false));
            widget = button;
        } else if (section.type == QLatin1String("Label")) {
            auto* label = new Label(bag.ReadString(QStringLiteral("Caption")), window);
            label->setWordWrap(bag.ReadBool(QStringLiteral("WordWrap"), false));
            widget = label;
        } else if (section.type == QLatin1String("OptionButton")) {
            // Option buttons of one window form one group, as in the forms this format comes from.
            auto* option = new QRadioButton(bag.ReadString(QStringLiteral("Caption")), window);
            option->setChecked(bag.ReadBool(QStringLiteral("Value"), false));
            widget = option;
        } else if (section.type == QLatin1String("ComboBox")) {
            auto* combo = new QComboBox(window);
            for (int i = 0; bag.Contains(QStringLiteral("List(%1)").arg(i)); ++i)
                combo->addItem(bag.ReadString(QStringLiteral("List(%1)").arg(i)));
            combo->setCurrentIndex(static_cast<int>(bag.ReadInt(QStringLiteral("ListIndex"), 0)));
            widget = combo;
        } else if (section.type == QLatin1String("TextBox")) {
            auto* text = new QLineEdit(bag.ReadString(QStringLiteral("Text")), window);
            text->setMaxLength(static_cast<int>(bag.ReadInt(QStringLiteral("MaxLength"), 32767)));
            widget = text;
        } else if (section.type == QLatin1String("Image")) {
            auto* image = new Label(window);
            const QIcon icon = Picture(bag, QStringLiteral("Picture"));
            if (!icon.isNull())
                image->setPixmap(icon.pixmap(static_cast<int>(bag.ReadInt(QStringLiteral("Width"), 32))));
            widget = image;
        } else if (section.type == QLatin1String("Line")) {
            auto* line = new Line(window);
            line->setObjectName(section.name);
            line->SetBorderColor(
                static_cast<quint32>(bag.ReadInt(QStringLiteral("BorderColor"), 0x80000010)));
            line->SetX1(static_cast<int>(bag.ReadInt(QStringLiteral("X1"), 0)));
            line->SetY1(static_cast<int>(bag.ReadInt(QStringLiteral("Y1"), 0)));
            line->SetX2(static_cast<int>(bag.ReadInt(QStringLiteral("X2"), 0)));
            line->SetY2(static_cast<int>(bag.ReadInt(QStringLiteral("Y2"), 0)));
            continue;
        } else if (section.type == QLatin1String("ListView")) {
            MakeControl<ListView>(window, section);
            continue;
        } else if (section.type == QLatin1String("StatusBar")) {
            MakeControl<StatusBar>(window, section);
            continue;
        } else if (section.type == QLatin1String("ProgressBar")) {
            MakeControl<ProgressBar>(window, section);
            continue;
        } else if (section.type == QLatin1String("InfoFrame")) {
            MakeControl<InfoFrame>(window, section);
            continue;
        } else if (section.type == QLatin1String("SystemMenu")) {
            auto* menu = new SystemMenu(window);
            menu->setObjectName(section.name);
            menu->ReadProperties(bag);
            continue;
        } else {
            error = QStringLiteral("%1: unknown control type %2").arg(section.name, section.type);
            return false;
        }
        widget->setObjectName(section.name);
        ApplyGeometry(widget, bag);
    }
    return true;
}

bool LoadForm(const QString& name, FormFile& form, QString& error)
{
    InitResources();
    const QString folder = qEnvironmentVariable("TOLVANE_FORMS_DIR");
    if (!folder.isEmpty()) {
        const QString path = QDir(folder).filePath(name + QStringLiteral(".form"));
        if (QFile::exists(path))
            return FormFile::Load(path, form, error);
    }
    return FormFile::Load(QStringLiteral(":/forms/%1.form").arg(name), form, error);
}

FormFile CaptureForm(const QWidget* window, const FormFile& original)
{
    FormFile form = original;
    for (FormSection& section : form.sections) {
        PropertyBag& bag = section.bag;
        if (section.type == QLatin1String("Form")) {
            bag.Write(QStringLiteral("Caption"), window->windowTitle());
            bag.Write(QStringLiteral("Width"), window->width());
            bag.Write(QStringLiteral("Height"), window->height());
            continue;
        }
        QObject* object = window->findChild<QObject*>(section.name);
        if (!object)
            continue;
        if (auto* control = qobject_cast<SystemMenu*>(object)) {
            control->WriteProperties(bag);
            continue;
        }
        auto* widget = qobject_cast<QWidget*>(object);
        if (auto* line = qobject_cast<Line*>(object)) {
            bag.Write(QStringLiteral("X1"), line->X1());
            bag.Write(QStringLiteral("Y1"), line->Y1());
            bag.Write(QStringLiteral("X2"), line->X2());
            bag.Write(QStringLiteral("Y2"), line->Y2());
            bag.Write(QStringLiteral("BorderColor"), qint64{line->BorderColor()});
            continue;
        }
        if (auto* c = qobject_cast<ListView*>(object))
            c->WriteProperties(bag);
        else if (auto* c = qobject_cast<StatusBar*>(object))
            c->WriteProperties(bag);
        else if (auto* c = qobject_cast<ProgressBar*>(object))
            c->WriteProperties(bag);
        else if (auto* c = qobject_cast<InfoFrame*>(object))
            c->WriteProperties(bag);
        else if (auto* button = qobject_cast<QPushButton*>(object))
            bag.Write(QStringLiteral("Caption"), button->text());
        else if (auto* option = qobject_cast<QRadioButton*>(object)) {
            bag.Write(QStringLiteral("Caption"), option->text());
            bag.Write(QStringLiteral("Value"), option->isChecked());
        } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
            for (int i = 0; i < combo->count(); ++i)
                bag.Write(QStringLiteral("List(%1)").arg(i), combo->itemText(i));
            bag.Write(QStringLiteral("ListIndex"), combo->currentIndex());
        } else if (auto* text = qobject_cast<QLineEdit*>(object))
            bag.Write(QStringLiteral("Text"), text->text());
        else if (auto* label = qobject_cast<QLabel*>(object); label && section.type == QLatin1String("Label"))
            bag.Write(QStringLiteral("Caption"), label->text());
        if (widget)
            WriteGeometry(widget, bag);
    }
    return form;
}

} // namespace tolvane::app
