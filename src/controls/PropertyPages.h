// The designer's pages for the element collections of the controls: the columns of a list view,
// the panels of a status bar and the items of a system menu, edited one element at a time.
//
// A page reaches its control only through Qt's meta-object system, by name: the "Count" and
// "PreventUpdate" properties, the element getter (e.g. "Column(int)", returning a QObject-derived
// pointer), the element's properties and the update member (e.g. "UpdateColumns(int)"). Any control
// offering those names can be edited, and the pages need none of the control classes.
//
// Decisions:
// - Number boxes accept integers only; a number box left empty is not written (the element keeps
//   its value), as the element's setter would ignore a value outside its range.
// - Loading the fields (a new selection, a move of the scroll bar) is not an edit. Moving the scroll
//   bar discards pending edits but leaves the page marked changed; a new selection or Apply clears
//   the mark.
// - With no elements the editing fields and the scroll bar are disabled and emptied.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

class QGridLayout;
class QLineEdit;
class QScrollBar;

namespace tolvane {

class PropertyPage : public QWidget {
    Q_OBJECT

public:
    // The controls the designer has selected; the page edits the first one.
    void SetSelectedControls(const QList<QObject*>& controls);
    QList<QObject*> SelectedControls() const;

    // True once a field was edited, until the next selection or Apply.
    bool Changed() const { return changed_; }
    // The element index the scroll bar selects.
    int ElementIndex() const;

    // Writes the fields into the element at the scroll bar's index, then updates that element.
    void ApplyChanges();

signals:
    void ChangedChanged(bool changed);

protected:
    // `elementGetter` and `applyMember` are method names such as "Column" and "UpdateColumns".
    PropertyPage(const char* elementGetter, const char* applyMember, QWidget* parent);

    // Fields in the order they are written by ApplyChanges. `property` is the element's property
    // name, `objectName` the field's name, `caption` the text of its label.
    void AddTextField(const QString& property, const QString& objectName, const QString& caption);
    void AddNumberField(const QString& property, const QString& objectName, const QString& caption);
    void AddComboField(const QString& property, const QString& objectName, const QString& caption,
                       const QStringList& entries);
    void AddCheckField(const QString& property, const QString& objectName, const QString& caption);

private:
    enum class Kind { Text, Number, Combo, Check };
    struct Field {
        QString property;
        Kind kind;
        QWidget* widget;
    };

    void AddField(const QString& property, Kind kind, QWidget* widget, const QString& objectName,
                  const QString& caption);
    QObject* Control() const;
    int Count() const;
    QObject* Element(int index) const;
    void ShowIndex(int index);
    void LoadFields(int index);
    void EnableFields(bool enable);
    void SetChanged(bool changed);
    void FieldEdited();

    QByteArray elementGetter_;
    QByteArray applyMember_;
    QList<QPointer<QObject>> controls_;
    std::vector<Field> fields_;
    QScrollBar* scrollIndex_;
    QLineEdit* textIndex_;
    QGridLayout* grid_;
    bool loading_ = false;
    bool changed_ = false;
};

// The columns of a list view.
class ColumnsPage : public PropertyPage {
    Q_OBJECT
public:
    explicit ColumnsPage(QWidget* parent = nullptr);
};

// The panels of a status bar.
class PanelsPage : public PropertyPage {
    Q_OBJECT
public:
    explicit PanelsPage(QWidget* parent = nullptr);
};

// The items of a system menu.
class SystemMenuItemsPage : public PropertyPage {
    Q_OBJECT
public:
    explicit SystemMenuItemsPage(QWidget* parent = nullptr);
};

} // namespace tolvane
