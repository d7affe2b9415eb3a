#include "controls/PropertyBag.h"

#include <QFile>
#include <QSaveFile>

namespace tolvane {

namespace {

bool IsInteger(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

QString Quote(const QString& s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += QLatin1Char('"');
    for (QChar c : s) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default: out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

// A quoted string from `text` (which starts with the opening quote); false when it is not closed,
// has an unknown escape or is followed by anything but blanks.
bool Unquote(const QString& text, QString& out)
{
    out.clear();
    qsizetype i = 1;
    for (; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == QLatin1Char('"'))
            break;
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i].unicode()) {
        case '"': out += QLatin1Char('"'); break;
        case '\\': out += QLatin1Char('\\'); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 'r': out += QLatin1Char('\r'); break;
        case 't': out += QLatin1Char('\t'); break;
        default: return false;
        }
    }
    return i < text.size() && text.mid(i + 1).trimmed().isEmpty();
}

} // namespace

bool PropertyBag::Contains(const QString& key) const
{
    return values_.contains(key);
}

QVariant PropertyBag::Read(const QString& key, const QVariant& fallback) const
{
    auto it = values_.constFind(key);
    return it == values_.constEnd() ? fallback : *it;
}

bool PropertyBag::ReadBool(const QString& key, bool fallback) const
{
    auto it = values_.constFind(key);
    return it != values_.constEnd() && it->typeId() == QMetaType::Bool ? it->toBool() : fallback;
}

qint64 PropertyBag::ReadInt(const QString& key, qint64 fallback) const
{
    auto it = values_.constFind(key);
    return it != values_.constEnd() && IsInteger(*it) ? it->toLongLong() : fallback;
}

QString PropertyBag::ReadString(const QString& key, const QString& fallback) const
{
    auto it = values_.constFind(key);
    return it != values_.constEnd() && it->typeId() == QMetaType::QString ? it->toString() : fallback;
}

void PropertyBag::Write(const QString& key, const QVariant& value)
{
    if (!values_.contains(key))
        keys_.append(key);
    // Integers are kept as one kind so that a bag read back from text compares equal.
    values_.insert(key, IsInteger(value) ? QVariant(value.toLongLong()) : value);
}

void PropertyBag::Remove(const QString& key)
{
    if (values_.remove(key) > 0)
        keys_.removeOne(key);
}

void PropertyBag::Clear()
{
    keys_.clear();
    values_.clear();
}

bool PropertyBag::operator==(const PropertyBag& other) const
{
    return keys_ == other.keys_ && values_ == other.values_;
}

const FormSection* FormFile::Find(const QString& name) const
{
    for (const auto& s : sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

FormSection& FormFile::Section(const QString& name, const QString& type)
{
    for (auto& s : sections)
        if (s.name == name)
            return s;
    sections.push_back({name, type, {}});
    return sections.back();
}

bool FormFile::Parse(const QString& text, const QString& source, FormFile& out, QString& error)
{
    out.sections.clear();
    const QStringList lines = text.split(QLatin1Char('\n'));
    auto fail = [&](qsizetype line, const QString& message) {
        error = QStringLiteral("%1:%2: %3").arg(source).arg(line + 1).arg(message);
        out.sections.clear();
        return false;
    };
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                return fail(n, QStringLiteral("section header without ']'"));
            const QStringList parts = line.mid(1, line.size() - 2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (parts.size() != 2)
                return fail(n, QStringLiteral("a section header is [Name Type]"));
            if (out.Find(parts[0]))
                return fail(n, QStringLiteral("section %1 appears twice").arg(parts[0]));
            out.sections.push_back({parts[0], parts[1], {}});
            continue;
        }
        if (out.sections.empty())
            return fail(n, QStringLiteral("property outside a section"));
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(n, QStringLiteral("expected Key = Value"));
        const QString key = line.left(eq).trimmed();
        const QString raw = line.mid(eq + 1).trimmed();
        QVariant value;
        if (raw.startsWith(QLatin1Char('"'))) {
            QString s;
            if (!Unquote(raw, s))
                return fail(n, QStringLiteral("bad string value"));
            value = s;
        } else if (raw == QLatin1String("true") || raw == QLatin1String("false")) {
            value = raw == QLatin1String("true");
        } else {
            bool ok = false;
            const qint64 v = raw.startsWith(QLatin1String("0x")) ? raw.mid(2).toLongLong(&ok, 16)
                                                                  : raw.toLongLong(&ok, 10);
            if (!ok)
                return fail(n, QStringLiteral("value of %1 is neither a number, a quoted string nor true/false").arg(key));
            value = v;
        }
        PropertyBag& bag = out.sections.back().bag;
        if (bag.Contains(key))
            return fail(n, QStringLiteral("%1 appears twice").arg(key));
        bag.Write(key, value);
    }
    return true;
}

QString FormFile::ToText() const
{
    QString text;
    for (const auto& s : sections) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QStringLiteral("[%1 %2]\n").arg(s.name, s.type);
        for (const QString& key : s.bag.Keys()) {
            const QVariant v = s.bag.Read(key);
            QString shown;
            if (v.typeId() == QMetaType::Bool)
                shown = v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
            else if (v.typeId() == QMetaType::LongLong)
                shown = QString::number(v.toLongLong());
            else
                shown = Quote(v.toString());
            text += key + QStringLiteral(" = ") + shown + QLatin1Char('\n');
        }
    }
    return text;
}

bool FormFile::Load(const QString& path, FormFile& out, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return Parse(QString::fromUtf8(file.readAll()), path, out, error);
}

bool FormFile::Save(const QString& path, QString& error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ToText().toUtf8()) < 0 || !file.commit()) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace tolvane
