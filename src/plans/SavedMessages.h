#pragma once
// The consoles' saved messages, kept between runs in one JSON file in the program's
// configuration folder (beside the kept port choices): a plan whose steps are the messages, each
// with its name, its console and the options that console's Send takes; the line stays the
// settings window's. So the file runs as a plan, and a plan's steps can be taken in as messages.
//
// A file that cannot be read is never written over: the messages of this run then live only
// until it ends, and the file stays as it was for the user to mend. An empty list removes the
// file (a plan has at least one step).

#include "plans/PlanReader.h"

#include <QList>
#include <QString>

class SavedMessages {
public:
    // The file the messages are kept in: messages.json in the program's configuration folder.
    static QString defaultPath();

    explicit SavedMessages(QString path = defaultPath());

    // Reads the file; a missing file is an empty list. False when the file cannot be read: the
    // list is then empty and save() leaves the file alone; problem() says why.
    bool load();
    QString path() const { return m_path; }
    QString problem() const { return m_problem; }
    // Whether the file was read (or is missing): only then is it written.
    bool readable() const { return m_readable; }

    // Every console's messages, in their order; a console shows its own.
    QList<PlanStep>& messages() { return m_messages; }
    const QList<PlanStep>& messages() const { return m_messages; }

    // Writes the list whole (atomically); false, with problem() saying why, when it could not be
    // written or the file was not read.
    bool save();

private:
    QString m_path;
    QString m_problem;
    bool m_readable = true;
    QList<PlanStep> m_messages;
};

// A saved message as a step: the name, the console's request, nothing expected.
PlanStep savedMessage(const QString& name, const ConsoleRequest& request);
