#include "app/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitTolvaneResources()
{
    Q_INIT_RESOURCE(tolvane);
}

namespace tolvane::app {

void InitResources()
{
    static const bool done = [] {
        InitTolvaneResources();
        return true;
    }();
    (void)done;
}

} // namespace tolvane::app
