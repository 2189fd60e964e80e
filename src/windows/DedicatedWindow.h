#pragma once
// Form3, the Dedicated console: the common console plus the choice of a check code (Frame4),
// with the Dedicated exchange behind its Send.

#include "windows/ConsoleWindow.h"

class DedicatedWindow : public ConsoleWindow {
public:
    explicit DedicatedWindow(ProgramState& state, SessionLog* log = nullptr,
                             QWidget* parent = nullptr);

protected:
    void sendStarting() override;
    ConsoleRequest request(const QByteArray& message) const override;
    void showOptions(const ConsoleRequest& saved) override;

private:
    QGroupBox* Frame4;
    QRadioButton* BCC_NO;
    QRadioButton* BCC_YES;
};
