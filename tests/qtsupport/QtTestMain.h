// Runs every QtTest class of a test program in one process, on Qt's offscreen platform.
//
// A test file registers its class with TOLVANE_QTEST(ClassName), in the class's namespace; the program's main runs them in
// registration order and fails when any of them fails.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace tolvane::qttest {

using Factory = std::function<std::unique_ptr<QObject>()>;
int Register(const char* name, Factory factory);

} // namespace tolvane::qttest

#define TOLVANE_QTEST(Class)                                                                       \
    [[maybe_unused]] static const int tolvaneQtest##Class =                                        \
        ::tolvane::qttest::Register(#Class, [] { return std::unique_ptr<QObject>(new Class); });
