#include "windows/LoaderWindow.h"

namespace {

ConsoleWindow::Layout loaderLayout()
{
    ConsoleWindow::Layout layout;
    layout.caption = QStringLiteral("Loader Protocol");
    layout.clientWidth = 7410;
    layout.clientHeight = 7860;
    layout.label3 = {120, 0, 870, 180};
    layout.send = {120, 240, 5775, 855};
    layout.label4 = {120, 1320, 1110, 180};
    layout.recv = {120, 1560, 5775, 855};
    layout.label5 = {120, 2640, 585, 180};
    layout.sendButton = {6120, 240, 1215, 495};
    layout.frame3 = {6120, 840, 1215, 1215};
    layout.status = {6120, 2160, 1215, 375};
    layout.clear = {6120, 2640, 1215, 495};
    layout.preScreen = {6120, 3240, 1215, 495};
    layout.end = {6120, 3840, 1215, 495};
    layout.messages = {6120, 4440, 1215, 375};
    layout.saveAsPlan = {6120, 4920, 1215, 375};
    layout.plans = {6120, 5400, 1215, 375};
    layout.historyTop = 2880;
    layout.historyDataWidth = 5175;
    layout.preScreenName = QStringLiteral("Command1");
    return layout;
}

} // namespace

LoaderWindow::LoaderWindow(ProgramState& state, SessionLog* log, QWidget* parent)
    : ConsoleWindow(ConsoleKind::Loader, QStringLiteral("38400,n,8,1"), loaderLayout(), state, log,
                    parent)
{
    setObjectName(QStringLiteral("Form2"));
}
