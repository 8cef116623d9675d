// frmDeleteScriptsFromOneFolderForMailbox: removes every event binding of one personal
// folder of the mailbox chosen in cboMailbox. An empty mailbox is refused before the
// confirmation. The page stays open after Finish and after No, with its choices, so it
// can run again; errors after the trap show the page's error report.
#pragma once

#include "app/MailboxPage.h"

class QComboBox;

namespace scripts {

class frmDeleteScriptsFromOneFolderForMailbox : public app::MailboxPage {
    Q_OBJECT

public:
    static constexpr const char *WindowName = "frmDeleteScriptsFromOneFolderForMailbox";
    explicit frmDeleteScriptsFromOneFolderForMailbox(QWidget *parent = nullptr);

protected:
    void fillPage() override;
    app::ResultMessage work(messaging::Session &session) override;

private:
    QComboBox *m_cboPersonalFolder = nullptr;
};

} // namespace scripts
