#pragma once
// The User Define frame: optional header character, the message, optional first check field,
// optional tail character, optional second check field. The four parts come from the console's
// editable lists, whose texts are read as they stand; a four-character text means "absent".

#include "engine/Transaction.h"
#include "protocols/ProgramState.h"

#include <QByteArray>
#include <QString>

#include <stdexcept>

// The four list texts; by default what the console's lists show when it opens.
struct UserDefSelections {
    QString header = QStringLiteral("ENQ(05)");
    QString bcc1 = QStringLiteral("NONE");
    QString tail = QStringLiteral("EOT(04)");
    QString bcc2 = QStringLiteral("SUM_1");
};

// A typed selection text that is neither four characters long nor of a listed form. Nothing of
// the state has changed when it is thrown.
class SelectionError : public std::runtime_error {
public:
    SelectionError(const QString& field, const QString& text, const QString& message);
    QString field() const { return m_field; } // "Header", "BCC1", "Tail" or "BCC2"
    QString text() const { return m_text; }
    QString message() const { return m_message; }

private:
    QString m_field;
    QString m_text;
    QString m_message;
};

// The frame (SendFrame) around message, the bytes of the send box. Runs BccMake through state
// once per check field chosen, leaving BccSource, BccAdd1, BccAdd2 and BccCode as the last run
// set them. Throws SelectionError before touching state.
QByteArray buildUserDefFrame(const UserDefSelections& selections, const QByteArray& message,
                             ProgramState& state);

// The User Define exchange: the frame on the chosen port at the chosen rate, exactly 1000 reads,
// then two more when the latest Dedicated frame carried a check. Throws SelectionError.
TransactionPlan userDefPlan(const UserDefSelections& selections, const QByteArray& message,
                            ProgramState& state);
