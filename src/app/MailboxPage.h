// MailboxPage: an action page that acts on the mailbox chosen in its picker. It adds
// lblMailbox "Mailbox Name:" and cboMailbox side by side at the top, fills the picker
// with the mailbox list at page opening and refuses an empty choice before the
// confirmation ("Choose Mailbox").
#pragma once

#include "app/ActionPage.h"

#include <string>

namespace app {

// Where a page places its mailbox label and picker (twips; both at the same top).
struct MailboxPlace {
    int labelLeft;
    int labelWidth;
    int pickerLeft;
    int pickerWidth;
    bool editable; // the picker's text can also be typed into
};

// The calendar pages' place.
inline constexpr MailboxPlace CalendarMailboxPlace{480, 1695, 2460, 3975, true};
// The event-script pages' place.
inline constexpr MailboxPlace ScriptMailboxPlace{240, 1755, 2040, 5115, false};

class MailboxPage : public ActionPage {
    Q_OBJECT

public:
    QComboBox *cboMailbox() const { return m_cboMailbox; }

protected:
    MailboxPage(const PageFrame &frame, const MailboxPlace &place, QWidget *parent);

    void fillPage() override;
    bool inputCheck() override;

    // The picker's text: a list entry or what was typed.
    std::string mailboxName() const;

private:
    QComboBox *m_cboMailbox = nullptr;
};

} // namespace app
