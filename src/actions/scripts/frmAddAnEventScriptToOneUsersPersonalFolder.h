// frmAddAnEventScriptToOneUsersPersonalFolder: installs a script file as a new event
// binding on one personal folder of the mailbox chosen in cboMailbox, for the events
// ticked (Schedule 1, New 2, Changed 4, Delete 8). Empty mailbox or file name are
// refused before the confirmation, no ticked event after it. Errors after the trap show
// the page's error report and leave the page open; success unloads it.
#pragma once

#include "app/ActionPage.h"

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace scripts {

class frmAddAnEventScriptToOneUsersPersonalFolder : public app::ActionPage {
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

    QComboBox *m_cboMailbox = nullptr;
    QComboBox *m_cboPersonalFolder = nullptr;
    QLineEdit *m_txtScriptName = nullptr;
    QLineEdit *m_txtFileName = nullptr;
    QPushButton *m_cmdGetFileName = nullptr;
    QCheckBox *m_chkNew = nullptr;
    QCheckBox *m_chkChanged = nullptr;
    QCheckBox *m_chkDelete = nullptr;
    QCheckBox *m_chkSchedule = nullptr;
};

} // namespace scripts
