// tolvane: the desktop program.
//   tolvane                 the machine's drives
//   tolvane --demo          two virtual drives holding the demo CD and the demo DVD
//   tolvane IMAGE...        a virtual drive per disc image (cue, toc, iso); --empty adds an empty one
//   tolvane --design FORM   the maintainers' design mode for a window's form file
#include "app/AppInfo.h"
#include "app/Background.h"
#include "app/DesignMode.h"
#include "app/FormTolvane.h"
#include "app/Resources.h"
#include "app/Session.h"
#include "controls/SystemColors.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

namespace {

const char* Usage = "usage: tolvane [--demo] [--empty] [IMAGE...]\n"
                    "       tolvane --design FORM\n"
                    "Drives get letters from D: upward: first the virtual drives, in the order given, then the\n"
                    "machine's optical drives.\n";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const tolvane::app::StartOptions options = tolvane::app::ParseStartOptions(args);
    if (!options.error.empty()) {
        std::fprintf(stderr, "tolvane: %s\n%s", options.error.c_str(), Usage);
        return 2;
    }
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tolvane %d.%d\n", tolvane::app::VersionMajor, tolvane::app::VersionMinor);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvane"));
    QApplication::setOrganizationName(QString::fromUtf8(tolvane::app::CompanyName));
    QApplication::setApplicationVersion(
        QStringLiteral("%1.%2").arg(tolvane::app::VersionMajor).arg(tolvane::app::VersionMinor));
    tolvane::app::InitResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tolvane.svg")));
    QApplication::setDesktopFileName(QStringLiteral("tolvane"));
    tolvane::UseSystemColors(QApplication::palette());

    if (!options.designForm.empty())
        return tolvane::app::RunDesignMode(QString::fromStdString(options.designForm));

    tolvane::app::Session session;
    std::string error;
    if (!tolvane::app::OpenSession(options, session, error)) {
        tolvane::app::ShowMessage(nullptr, QString::fromStdString(error), QMessageBox::Critical);
        return 1;
    }
    tolvane::app::FormTolvane window(session);
    if (!window.Start())
        return 1;
    window.show();
    return app.exec();
}
