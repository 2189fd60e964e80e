#include "windows/WindowRegistry.h"

#include "windows/DedicatedWindow.h"
#include "windows/LoaderWindow.h"
#include "windows/PlansWindow.h"
#include "windows/SettingsWindow.h"
#include "windows/UserDefWindow.h"
#include "windows/WindowServices.h"

void registerWindows(WindowServices& services, ProgramState& state, SessionLog* log)
{
    services.registerWindow(WindowId::Settings, [&state] { return new SettingsWindow(state); });
    services.registerWindow(WindowId::Loader,
                            [&state, log] { return new LoaderWindow(state, log); });
    services.registerWindow(WindowId::Dedicated,
                            [&state, log] { return new DedicatedWindow(state, log); });
    services.registerWindow(WindowId::UserDefine,
                            [&state, log] { return new UserDefWindow(state, log); });
    services.registerWindow(WindowId::Plans, [log] { return new PlansWindow(log); });
}
