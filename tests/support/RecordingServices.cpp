#include "RecordingServices.h"

RecordingServices::RecordingServices() : m_previous(&WindowServices::instance())
{
    WindowServices::install(this);
}

RecordingServices::~RecordingServices()
{
    // While still installed, so that a window closing now asks this object, not a real box.
    discardAll();
    WindowServices::install(m_previous);
}

void RecordingServices::messageBox(QWidget* parent, const QString& text, const QString& title,
                                   const QString& detail)
{
    const Box box{text, title, detail, parent};
    m_boxes.append(box);
    if (m_whileBoxShown)
        m_whileBoxShown(box);
}

void RecordingServices::endProgram()
{
    ++m_endProgramCalls;
}

void RecordingServices::setWhileBoxShown(std::function<void(const Box&)> action)
{
    m_whileBoxShown = std::move(action);
}
