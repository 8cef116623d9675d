// frmAddEventToAPersonalFolderForAllUsers: installs a script file as a new event binding
// on the named personal folder (chosen or typed) of every mail user but
// "Administrator", for the events ticked (New 1, Changed 2, Delete 4, Schedule 8). An
// empty file name is refused before the confirmation, no ticked event after it. Errors
// after the trap show the page's error report and leave the page open; success unloads
// it.
#pragma once

#include "actions/scripts/ScriptFields.h"
#include "app/ActionPage.h"

#include <cstdint>

namespace scripts {

class frmAddEventToAPersonalFolderForAllUsers : public app::ActionPage {
    Q_OBJECT

public:
    static constexpr const char *WindowName = "frmAddEventToAPersonalFolderForAllUsers";
    explicit frmAddEventToAPersonalFolderForAllUsers(QWidget *parent = nullptr);

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
