#include "windows/WindowRegistry.h"

#include "windows/DedicatedWindow.h"
#include "windows/LoaderWindow.h"
#include "windows/SettingsWindow.h"
#include "windows/UserDefWindow.h"
#include "windows/WindowServices.h"

void registerWindows(WindowServices& services)
{
    services.registerWindow(WindowId::Settings, [] { return new SettingsWindow; });
    services.registerWindow(WindowId::Loader, [] { return new LoaderWindow; });
    services.registerWindow(WindowId::Dedicated, [] { return new DedicatedWindow; });
    services.registerWindow(WindowId::UserDefine, [] { return new UserDefWindow; });
}
