#include "app/Pickers.h"

#include "messaging/InfoStores.h"
#include "messaging/Session.h"

#include <QComboBox>
#include <QLineEdit>

#include <cstdint>
#include <string>

namespace app {

void fillMailboxList(QComboBox *cboMailbox)
{
    messaging::Session session;
    session.Logon("Administrator");
    const messaging::InfoStores stores = session.InfoStores();
    // The count is kept in the width the collection gives, so any number of stores is
    // listed.
    const std::int32_t count = stores.Count();
    // The entries go into the picker in one step at the end: one insertion into its model
    // rather than one (with its signals and relayout) per mailbox. A failure on the way
    // leaves the page unopened, so nothing is lost by holding them back.
    QStringList names;
    names.reserve(count);
    for (std::int32_t position = 1; position <= count; ++position) {
        const std::string name = stores.Item(position).Name();
        if (name.size() >= 7 && name.compare(0, 7, "Mailbox") == 0)
            names.append(QString::fromStdString(stores.Item(position).Name()));
    }
    session.Logoff();
    cboMailbox->addItems(names);
    // Adding the first entry selects it; the picker starts without a choice.
    cboMailbox->setCurrentIndex(-1);
    if (cboMailbox->isEditable())
        cboMailbox->clearEditText();
}

QStringList personalFolderNames()
{
    // The picker's own list, not the mailbox's folders (core::MailboxFolderNames): its
    // second entry is the singular "Contact", which no mailbox has, and picking it fails
    // like any name typed by hand.
    return QStringList{QStringLiteral("Calendar"),   QStringLiteral("Contact"),    QStringLiteral("Deleted Items"),
                       QStringLiteral("Drafts"),     QStringLiteral("Inbox"),      QStringLiteral("Journal"),
                       QStringLiteral("Notes"),      QStringLiteral("Outbox"),     QStringLiteral("Sent Items"),
                       QStringLiteral("Tasks")};
}

void fillFolderList(QComboBox *cboPersonalFolder)
{
    cboPersonalFolder->addItems(personalFolderNames());
}

void keepTypedText(QComboBox *picker)
{
    picker->setInsertPolicy(QComboBox::NoInsert);
    picker->setCompleter(nullptr);
    if (QLineEdit *edit = picker->lineEdit()) {
        // The combo box's own look-ups on Enter and on leaving the field.
        QObject::disconnect(edit, &QLineEdit::returnPressed, picker, nullptr);
        QObject::disconnect(edit, &QLineEdit::editingFinished, picker, nullptr);
    }
}

void setPickerText(QComboBox *picker, const QString &text)
{
    const int index = picker->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        picker->setCurrentIndex(index);
    else if (picker->isEditable())
        picker->setEditText(text);
}

} // namespace app
