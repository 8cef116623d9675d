// frmDeleteAllScriptsFromOneMailbox: removes every event binding of the folders directly
// below the root of the mailbox chosen in cboMailbox. An empty mailbox is refused
// before the confirmation. The page stays open after Finish and after No; errors after
// the trap show the page's error report.
#pragma once

#include "app/MailboxPage.h"

namespace scripts {

class frmDeleteAllScriptsFromOneMailbox : public app::MailboxPage {
    Q_OBJECT

public:
    static constexpr const char *WindowName = "frmDeleteAllScriptsFromOneMailbox";
    explicit frmDeleteAllScriptsFromOneMailbox(QWidget *parent = nullptr);

protected:
    app::ResultMessage work(messaging::Session &session) override;
};

} // namespace scripts
