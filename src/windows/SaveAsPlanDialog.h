#pragma once
// SaveAsPlanDialog: "Save as plan…" of a console. The exchanges since the console opened or Clear
// become a plan's steps expecting the reply's class seen, and, when asked, the reply's bytes
// and a latency limit (the latency seen plus the margin chosen here); the plan names the devices
// the exchanges went to, so rs232c run of the file talks to the same device.

#include <QDialog>

class ConsoleWindow;
class QCheckBox;
class QLineEdit;
class QSpinBox;

class SaveAsPlanDialog : public QDialog {
public:
    explicit SaveAsPlanDialog(ConsoleWindow* console);

private:
    void browse();
    void save();

    ConsoleWindow* m_console;
    QCheckBox* m_replyBytes;
    QCheckBox* m_latency;
    QSpinBox* m_margin;
    QLineEdit* m_path;
};
