// frmDeleteAllScriptsForAllMailboxes: removes every event binding of the top-level folders
// of every mail user's mailbox but "Mailbox - Administrator". No input; Finish and No
// unload the page; errors after the trap show the page's error report and leave it
// open.
#pragma once

#include "app/ActionPage.h"

class QComboBox;

namespace scripts {

class frmDeleteAllScriptsForAllMailboxes : public app::ActionPage {
    Q_OBJECT

public:
    static constexpr const char *WindowName = "frmDeleteAllScriptsForAllMailboxes";
    explicit frmDeleteAllScriptsForAllMailboxes(QWidget *parent = nullptr);

protected:
    app::ResultMessage work(messaging::Session &session) override;
};

} // namespace scripts
