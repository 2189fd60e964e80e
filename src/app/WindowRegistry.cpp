#include "app/WindowRegistry.h"

#include "app/SettingsWindow.h"
#include "consoles/dedicated/DedicatedWindow.h"
#include "consoles/loader/LoaderWindow.h"
#include "consoles/userdef/UserDefWindow.h"
#include "platform/WindowServices.h"

void registerWindows(WindowServices& services)
{
    services.registerWindow(WindowId::Settings, [] { return new SettingsWindow; });
    services.registerWindow(WindowId::Loader, [] { return new LoaderWindow; });
    services.registerWindow(WindowId::Dedicated, [] { return new DedicatedWindow; });
    services.registerWindow(WindowId::UserDefine, [] { return new UserDefWindow; });
}
