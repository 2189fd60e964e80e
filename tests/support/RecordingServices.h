#pragma once
// Window services for window tests: message boxes and the end of the program are recorded
// instead of shown or done, and return at once. Installs itself for its lifetime; when it goes it
// closes and deletes the windows it made and puts the services it replaced back.
//
//     RecordingServices services;
//     services.registerWindow(WindowId::Dedicated, [] { return new QWidget; });
//     ... click ...
//     QCOMPARE(services.boxes().size(), 1);

#include "windows/WindowServices.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class RecordingServices : public WindowServices {
public:
    struct Box {
        QString text;
        QString title;
        QString detail;
        QPointer<QWidget> parent;
    };

    RecordingServices();
    ~RecordingServices() override;
    RecordingServices(const RecordingServices&) = delete;
    RecordingServices& operator=(const RecordingServices&) = delete;

    void messageBox(QWidget* parent, const QString& text, const QString& title,
                    const QString& detail = {}) override;
    void endProgram() override;

    // Runs inside every later messageBox call, after the box is recorded: what a test does here
    // happens "while the box is up".
    void setWhileBoxShown(std::function<void(const Box&)> action);

    const QList<Box>& boxes() const { return m_boxes; }
    int endProgramCalls() const { return m_endProgramCalls; }

private:
    WindowServices* m_previous;
    QList<Box> m_boxes;
    int m_endProgramCalls = 0;
    std::function<void(const Box&)> m_whileBoxShown;
};
