#include "app/MailboxPage.h"

#include "app/Pickers.h"

#include <QComboBox>

namespace app {

MailboxPage::MailboxPage(const PageFrame &frame, const MailboxPlace &place, QWidget *parent)
    : ActionPage(frame, parent)
{
    addLabel("lblMailbox", QStringLiteral("Mailbox Name:"), place.labelLeft, 300, place.labelWidth, 375);
    m_cboMailbox = addComboBox("cboMailbox", place.editable, place.pickerLeft, 300, place.pickerWidth);
}

void MailboxPage::fillPage()
{
    fillMailboxList(m_cboMailbox);
}

bool MailboxPage::inputCheck()
{
    return requireMailbox(m_cboMailbox);
}

std::string MailboxPage::mailboxName() const
{
    return m_cboMailbox->currentText().toStdString();
}

} // namespace app
