#include "windows/MessagesWindow.h"

#include "plans/ExchangeSetup.h"
#include "windows/ConsoleWindow.h"
#include "windows/WindowServices.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { Name, Message, Options, Columns };

const QString kTitle = QStringLiteral("Messages");

// The files whose refusal was already said in this run: it is said once.
QSet<QString>& reportedFiles()
{
    static QSet<QString> reported;
    return reported;
}

QString optionsText(const ConsoleRequest& request)
{
    switch (request.kind) {
    case ConsoleKind::Loader:
        break;
    case ConsoleKind::Dedicated:
        return request.withCheck ? QStringLiteral("BCC Use") : QStringLiteral("BCC None");
    case ConsoleKind::UserDefine:
        return QStringLiteral("Header %1, BCC1 %2, Tail %3, BCC2 %4")
            .arg(request.selections.header, request.selections.bcc1, request.selections.tail,
                 request.selections.bcc2);
    }
    return {};
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& tip)
{
    auto* made = new QPushButton(caption, parent);
    made->setObjectName(QLatin1String(name));
    made->setToolTip(tip);
    made->setAccessibleName(caption);
    return made;
}

} // namespace

MessagesWindow::MessagesWindow(ConsoleWindow* console)
    : QWidget(console, Qt::Window), m_console(console)
{
    setObjectName(QStringLiteral("MessagesWindow"));
    setWindowTitle(QStringLiteral("%1 - %2").arg(kTitle, console->windowTitle()));
    resize(530, 330);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("messageName"));
    m_name->setPlaceholderText(QStringLiteral("a name for the text in Send Data"));
    m_name->setAccessibleName(QStringLiteral("Name"));
    auto* nameLabel = new QLabel(QStringLiteral("&Name"), this);
    nameLabel->setBuddy(m_name);
    QPushButton* addButton =
        button(this, "addButton", QStringLiteral("&Add"),
               QStringLiteral("Save the text in Send Data with the console's options now"));

    m_list = new QTableWidget(0, Columns, this);
    m_list->setObjectName(QStringLiteral("messageList"));
    m_list->setAccessibleName(kTitle);
    m_list->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Message"), QStringLiteral("Options")});
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_list->setTabKeyNavigation(false);
    m_list->verticalHeader()->setToolTip(QStringLiteral("Ctrl+1 to Ctrl+9 in the console"));
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setColumnWidth(Name, 120);
    m_list->setColumnWidth(Message, 140);
    m_list->setToolTip(QStringLiteral("Double-click or Enter sends the message as the console's "
                                      "Send does; F2 edits a name or a message"));

    QPushButton* sendButton = button(this, "sendMessageButton", QStringLiteral("&Send"),
                                     QStringLiteral("Send the message (Enter)"));
    QPushButton* renameButton =
        button(this, "renameButton", QStringLiteral("&Rename"), QStringLiteral("Rename (F2)"));
    QPushButton* editButton = button(this, "editButton", QStringLiteral("&Edit"),
                                     QStringLiteral("Edit the message, in the console's view"));
    QPushButton* upButton = button(this, "upButton", QStringLiteral("&Up"),
                                   QStringLiteral("Move the message up (Alt+U)"));
    QPushButton* downButton = button(this, "downButton", QStringLiteral("Do&wn"),
                                     QStringLiteral("Move the message down (Alt+W)"));
    QPushButton* deleteButton =
        button(this, "deleteButton", QStringLiteral("&Delete"), QStringLiteral("Delete (Alt+D)"));
    QPushButton* importButton =
        button(this, "importButton", QStringLiteral("&Import plan\u2026"),
               QStringLiteral("Take in the steps of a plan for this console as messages"));

    auto* top = new QHBoxLayout;
    top->addWidget(nameLabel);
    top->addWidget(m_name, 1);
    top->addWidget(addButton);
    auto* side = new QVBoxLayout;
    for (QPushButton* control :
         {sendButton, renameButton, editButton, upButton, downButton, deleteButton, importButton})
        side->addWidget(control);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_list, 1);
    middle->addLayout(side);
    auto* hint = new QLabel(QStringLiteral("Kept in %1").arg(m_saved.path()), this);
    hint->setObjectName(QStringLiteral("messagesFile"));
    hint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addWidget(hint);

    WindowServices::pressOnEnter(this);
    connect(addButton, &QPushButton::clicked, this, &MessagesWindow::add);
    connect(m_name, &QLineEdit::returnPressed, this, &MessagesWindow::add);
    connect(sendButton, &QPushButton::clicked, this, [this] { send(currentRow()); });
    connect(m_list, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { send(index.row()); });
    connect(renameButton, &QPushButton::clicked, this, [this] { editCell(Name); });
    connect(editButton, &QPushButton::clicked, this, [this] { editCell(Message); });
    connect(upButton, &QPushButton::clicked, this, [this] { move(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { move(1); });
    connect(deleteButton, &QPushButton::clicked, this, &MessagesWindow::remove);
    connect(importButton, &QPushButton::clicked, this, &MessagesWindow::importPlan);
    connect(m_list, &QTableWidget::itemChanged, this, &MessagesWindow::edited);
    // The console's shortcuts for the first nine work here too.
    for (int number = 1; number <= 9; ++number) {
        connect(new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_0 + number)), this),
                &QShortcut::activated, this, [this, number] { send(number - 1); });
    }

    if (!m_saved.load() && !reportedFiles().contains(m_saved.path())) {
        reportedFiles().insert(m_saved.path());
        WindowServices::instance().messageBox(
            console, QStringLiteral("Saved messages cannot be read"), kTitle,
            QStringLiteral("%1\nThe file is left as it is; messages saved now are not kept.")
                .arg(m_saved.problem()));
    }
    refresh();
}

void MessagesWindow::refresh()
{
    const int current = currentRow();
    m_filling = true;
    m_rows.clear();
    const QList<PlanStep>& messages = m_saved.messages();
    for (qsizetype index = 0; index < messages.size(); ++index) {
        if (messages[index].exchange.request.kind == m_console->kind())
            m_rows << index;
    }
    m_list->setRowCount(int(m_rows.size()));
    for (int row = 0; row < m_rows.size(); ++row) {
        const PlanStep& message = messages[m_rows[row]];
        const ConsoleRequest& request = message.exchange.request;
        const QString texts[Columns] = {
            message.name,
            codec::render(request.message, m_console->view(), codec::LineBreaks::AsSymbols),
            optionsText(request)};
        for (int column = 0; column < Columns; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (column == Options)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            m_list->setItem(row, column, item);
        }
        m_list->setVerticalHeaderItem(
            row, new QTableWidgetItem(row < 9 ? QString::number(row + 1) : QString()));
    }
    if (current >= 0 && current < m_list->rowCount())
        m_list->selectRow(current);
    m_filling = false;
}

bool MessagesWindow::send(int index)
{
    if (index < 0 || index >= m_rows.size())
        return false;
    m_console->sendRequest(m_saved.messages()[m_rows[index]].exchange.request);
    return true;
}

int MessagesWindow::currentRow() const
{
    const QModelIndexList selected = m_list->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.constFirst().row();
}

void MessagesWindow::add()
{
    const std::optional<ConsoleRequest> request = m_console->typedRequest();
    if (!request)
        return;
    // A list text Send would refuse is refused here too, so the file always reads as a plan.
    QString field;
    const QString refusal = ExchangeChecks::selections(request->selections, &field);
    if (!refusal.isEmpty()) {
        WindowServices::instance().messageBox(this, refusal, m_console->windowTitle());
        return;
    }
    // Unnamed, a message goes by its first characters, as the view shows them.
    QString name = m_name->text().trimmed();
    if (name.isEmpty())
        name = codec::render(request->message, m_console->view(), codec::LineBreaks::AsSymbols)
                   .left(40);
    if (name.isEmpty())
        name = QStringLiteral("empty message");
    m_saved.messages() << savedMessage(name, *request);
    keep();
    m_name->clear();
    refresh();
    m_list->selectRow(m_list->rowCount() - 1);
}

void MessagesWindow::move(int by)
{
    const int row = currentRow();
    const int other = row + by;
    if (row < 0 || other < 0 || other >= m_rows.size())
        return;
    m_saved.messages().swapItemsAt(m_rows[row], m_rows[other]);
    keep();
    refresh();
    m_list->selectRow(other);
}

void MessagesWindow::remove()
{
    const int row = currentRow();
    if (row < 0)
        return;
    m_saved.messages().removeAt(m_rows[row]);
    keep();
    refresh();
    m_list->selectRow(std::min(row, m_list->rowCount() - 1));
}

void MessagesWindow::editCell(int column)
{
    const int row = currentRow();
    if (row >= 0)
        m_list->editItem(m_list->item(row, column));
}

void MessagesWindow::edited(QTableWidgetItem* item)
{
    if (m_filling)
        return;
    PlanStep& message = m_saved.messages()[m_rows[item->row()]];
    if (item->column() == Name) {
        const QString name = item->text().trimmed();
        if (!name.isEmpty())
            message.name = name;
    } else {
        try {
            message.exchange.request.message = codec::parse(item->text(), m_console->view());
        } catch (const codec::CodecError& error) {
            WindowServices::instance().messageBox(this, error.message(), QStringLiteral("Format"));
        }
    }
    keep();
    // The cell shows what is kept, as the view writes it, once the edit is over.
    QMetaObject::invokeMethod(this, &MessagesWindow::refresh, Qt::QueuedConnection);
}

void MessagesWindow::importPlan()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Import a plan's steps"), QString(),
                                     QStringLiteral("Plans (*.json);;All files (*)"));
    if (path.isEmpty())
        return;
    const auto reading = readPlanFile(path);
    if (const QString* refusal = std::get_if<QString>(&reading)) {
        WindowServices::instance().messageBox(this, QStringLiteral("The plan cannot be read"),
                                              kTitle, *refusal);
        return;
    }
    int taken = 0;
    for (const PlanStep& step : std::get<Plan>(reading).steps) {
        if (step.exchange.request.kind != m_console->kind())
            continue;
        m_saved.messages() << savedMessage(step.name, step.exchange.request);
        ++taken;
    }
    if (taken == 0) {
        WindowServices::instance().messageBox(
            this, QStringLiteral("The plan has no step for this console"), kTitle, path);
        return;
    }
    keep();
    refresh();
}

void MessagesWindow::keep()
{
    if (!m_saved.readable())
        return;
    if (!m_saved.save())
        WindowServices::instance().messageBox(this, QStringLiteral("Saved messages cannot be kept"),
                                              kTitle, m_saved.problem());
}
