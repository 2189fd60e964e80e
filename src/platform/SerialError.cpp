#include "platform/SerialError.h"

SerialError::SerialError(Kind kind, const QString& reason)
    : std::runtime_error(reason.toStdString()), m_kind(kind), m_reason(reason)
{
}
