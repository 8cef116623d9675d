// frmAddAnEventScriptToOneUsersPersonalFolder: installs a script file as a new event
// binding on one personal folder of the mailbox chosen in cboMailbox, for the events
// ticked (Schedule 1, New 2, Changed 4, Delete 8). Empty mailbox or file name are
// refused before the confirmation, no ticked event after it. Errors after the trap show
// the page's error report and leave the page open; success unloads it.
#pragma once

#include "actions/scripts/ScriptFields.h"
#include "app/MailboxPage.h"

#include <cstdint>

namespace scripts {

class frmAddAnEventScriptToOneUsersPersonalFolder : public app::MailboxPage {
    Q_OBJECT

public:
    static constexpr const char *WindowName = "frmAddAnEventScriptToOneUsersPersonalFolder";
    explicit frmAddAnEventScriptToOneUsersPersonalFolder(QWidget *parent = nullptr);

protected:
    void fillPage() override;
    bool inputCheck() override;
    bool checkAfterConfirmation() override;
    app::ResultMessage work(messaging::Session &session) override;

private:
    std::int16_t eventMask() const;

    AddScriptFields m_fields;
};

} // namespace scripts
