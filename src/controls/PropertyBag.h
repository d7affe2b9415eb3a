// The persisted properties of a control, and the form files that describe a window's controls.
//
// A property bag maps keys such as "Count" or "ColumnText(0)" to values (booleans, integers,
// strings); a control reads its state from one when it is loaded and writes it back when its
// form is saved. A form file is a plain-text list of bags, one section per control:
//
//   # comment
//   [ListTracks ListView]
//   Count = 9
//   ColumnText(0) = "Track"
//   Checkboxes = true
//
// Integers are decimal (a leading '-' allowed) or hexadecimal with 0x; strings are quoted with
// the escapes \" \\ \n \r \t; booleans are true or false.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace tolvane {

class PropertyBag {
public:
    bool Contains(const QString& key) const;
    // The stored value, or `fallback` when the key is missing.
    QVariant Read(const QString& key, const QVariant& fallback = {}) const;
    // Typed reads: `fallback` when the key is missing or its value is of another kind.
    bool ReadBool(const QString& key, bool fallback) const;
    qint64 ReadInt(const QString& key, qint64 fallback) const;
    QString ReadString(const QString& key, const QString& fallback = {}) const;

    // Stores bool, integer (any width) or string values; a key keeps its first position.
    void Write(const QString& key, const QVariant& value);
    void Remove(const QString& key);
    void Clear();

    // Keys in the order they were first written.
    const QStringList& Keys() const { return keys_; }
    bool IsEmpty() const { return keys_.isEmpty(); }

    bool operator==(const PropertyBag& other) const;

private:
    QStringList keys_;
    QVariantHash values_;
};

struct FormSection {
    QString name; // the control's name, e.g. "ListTracks"; the window itself uses its own name
    QString type; // "ListView", "StatusBar", "Form", ...
    PropertyBag bag;
};

class FormFile {
public:
    std::vector<FormSection> sections;

    const FormSection* Find(const QString& name) const;
    // The section of that name, appended (with `type`) when there is none.
    FormSection& Section(const QString& name, const QString& type);

    // Parses `text`; on failure returns false and sets `error` to "source:line: message".
    static bool Parse(const QString& text, const QString& source, FormFile& out, QString& error);
    QString ToText() const;

    // Reads a form file (a path or a Qt resource such as ":/forms/FormAbout.form").
    static bool Load(const QString& path, FormFile& out, QString& error);
    bool Save(const QString& path, QString& error) const;
};

} // namespace tolvane
