#include "qtsupport/QtTestMain.h"

#include <QApplication>

#include <string>
#include <utility>
#include <vector>

namespace tolvane::qttest {

static std::vector<std::pair<std::string, Factory>>& Registry()
{
    static std::vector<std::pair<std::string, Factory>> registry;
    return registry;
}

int Register(const char* name, Factory factory)
{
    Registry().emplace_back(name, std::move(factory));
    return static_cast<int>(Registry().size());
}

} // namespace tolvane::qttest

// Arguments are handed to every class (e.g. -v2, or a function name to run one test).
// TOLVANE_QTEST_CLASS=Name runs a single class.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion")); // the same look on every machine
    const QByteArray only = qgetenv("TOLVANE_QTEST_CLASS");
    int failed = 0;
    for (auto& [name, factory] : tolvane::qttest::Registry()) {
        if (!only.isEmpty() && only != name.c_str())
            continue;
        auto test = factory();
        if (QTest::qExec(test.get(), argc, argv) != 0) {
            std::fprintf(stderr, "FAILED: %s\n", name.c_str());
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
