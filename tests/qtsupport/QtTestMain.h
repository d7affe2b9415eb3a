// Runs every QtTest class of a program in one process on the offscreen platform, in registration
// order; a file registers its class with TOLVANE_QTEST(ClassName) in the class's namespace.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTest>
#include <QVariant>

#include <cstdio>
#include <functional>
#include <memory>

namespace tolvane::qttest {

using Factory = std::function<std::unique_ptr<QObject>()>;
int Register(const char* name, Factory factory);

// Names the table row a failed check was in (a failed check returns from the test function).
struct Row {
    const char* name;
    ~Row()
    {
        if (QTest::currentTestFailed())
            std::fprintf(stderr, "   in row \"%s\"\n", name);
    }
};

// Values joined by '|', to compare several fields in one check.
inline QString Join(const QVariantList& values)
{
    QStringList texts;
    for (const QVariant& value : values)
        texts << value.toString();
    return texts.join(QLatin1Char('|'));
}

} // namespace tolvane::qttest

#define TOLVANE_QTEST(Class)                                                                       \
    [[maybe_unused]] static const int tolvaneQtest##Class =                                        \
        ::tolvane::qttest::Register(#Class, [] { return std::unique_ptr<QObject>(new Class); });
