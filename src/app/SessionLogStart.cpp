#include "app/SessionLogStart.h"

#include "windows/WindowServices.h"

bool startSessionLog(const CommandLine& options, std::unique_ptr<SessionLog>* log)
{
    if (!options.log)
        return true;
    QString why;
    *log = SessionLog::open(*options.log, &why);
    if (!*log) {
        WindowServices::instance().messageBox(nullptr, QStringLiteral("Log Disorder"),
                                              QStringLiteral("Error"), why);
        return false;
    }
    return true;
}
