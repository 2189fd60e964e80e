#pragma once
// Form4, the User Define console: the common console plus the four frame selections (Header,
// BCC1, Tail, BCC2, editable lists standing in frame order around the send box), with the User
// Define exchange behind its Send.

#include "windows/ConsoleWindow.h"

class QComboBox;

class UserDefWindow : public ConsoleWindow {
public:
    explicit UserDefWindow(ProgramState& state, SessionLog* log = nullptr,
                           QWidget* parent = nullptr);

protected:
    ConsoleRequest request(const QByteArray& message) const override;
    void showOptions(const ConsoleRequest& saved) override;

private:
    QComboBox* Header;
    QComboBox* BCC1;
    QComboBox* Tail;
    QComboBox* BCC2;
};
