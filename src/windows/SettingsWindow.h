#pragma once
// Form1, the settings window the program starts with: the port, the line speed and the choice of
// console. OK publishes BaudRate and PortNo, opens the chosen console and closes this window;
// a console's Pre_Screen brings a fresh one back. The data bit, stop bit and parity boxes are
// shown but never read: every console runs its line at 8 data bits, no parity, 1 stop bit.
// Between the two rows of the setting frame a short line says which device com1 and com2 stand
// for, beside the way to the Ports window (also Ctrl+P), where the user chooses them. Ctrl+L
// opens the Plans window.

#include "protocols/ProgramState.h"

#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    // OK publishes into state, which outlives the window.
    explicit SettingsWindow(ProgramState& state, QWidget* parent = nullptr);

    // The handlers, named after their control and event. An option's handler runs when it
    // becomes the selected one.
    void 로더_Click();
    void 전용_Click();
    void 사용자_Click();
    void 설정완료_Click();
    void HELP_Click();
    void 종료_Click();
    // Opens the Ports window over this one.
    void openPorts();

protected:
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void Form_Activate();
    void setLineBoxesEnabled(bool speed, bool others);
    void buildPortLine();
    void showPortDevices();

    ProgramState& m_state;
    QGroupBox* Frame1;
    QRadioButton* 로더;
    QRadioButton* 전용;
    QRadioButton* 사용자;
    QGroupBox* Frame2;
    QLabel* Label1;
    QComboBox* 통신포트;
    QLabel* Label3;
    QComboBox* data_bit;
    QLabel* Label4;
    QComboBox* stop_bit;
    QLabel* Label2;
    QComboBox* 통신속도;
    QLabel* Label6;
    QComboBox* Parity;
    QPushButton* 설정완료;
    QPushButton* HELP;
    QPushButton* 종료;
    QLabel* m_portDevices;
    QPushButton* m_portsButton;
    bool m_lostToOwnBox = false; // the activation went to a box of this window
};
