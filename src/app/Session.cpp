#include "app/Session.h"

#include "emulator/Attach.h"

namespace tolvane::app {

StartOptions ParseStartOptions(const std::vector<std::string>& args)
{
    StartOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--design") {
            if (i + 1 == args.size()) {
                options.error = "--design needs the name of a form, e.g. --design FormTolvane";
                return options;
            }
            options.designForm = args[++i];
        } else if (arg == "--demo" || arg == "--empty" || arg == "--") {
            if (arg != "--")
                options.arguments.push_back(arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            options.error = "unknown option " + arg;
            return options;
        } else {
            options.arguments.push_back(arg);
        }
    }
    return options;
}

bool OpenSession(const StartOptions& options, Session& session, std::string& error)
{
    using Kind = emulator::DriveRequest::Kind;
    std::vector<emulator::DriveRequest> requests;
    for (const std::string& arg : options.arguments) {
        if (arg == "--demo")
            requests.push_back({Kind::Demo, {}});
        else if (arg == "--empty")
            requests.push_back({Kind::Empty, {}});
        else
            requests.push_back({Kind::Image, arg});
    }
    if (!session.clock)
        session.clock = std::make_shared<SystemClock>();
    const emulator::AttachResult attached = emulator::AttachDrives(*session.registry, requests, session.clock);
    if (!attached.ok) {
        error = attached.error;
        return false;
    }
    session.drives = attached.drives;
    session.platform = CreateSystemPlatform(session.registry);
    return true;
}

} // namespace tolvane::app
