// frmDeleteSingleUsersItemsFromLarkspurCalendar: deletes the shared calendar items copied
// from the user chosen in cboMailbox (a list entry or typed text). An empty choice is
// refused before the confirmation; the hourglass shows while it works; every other
// Finish unloads the page. Errors reach the top-level error report.
#pragma once

#include "app/MailboxPage.h"

namespace calendar {

class frmDeleteSingleUsersItemsFromLarkspurCalendar : public app::MailboxPage {
    Q_OBJECT

public:
    static constexpr const char *WindowName = "frmDeleteSingleUsersItemsFromLarkspurCalendar";
    explicit frmDeleteSingleUsersItemsFromLarkspurCalendar(QWidget *parent = nullptr);

protected:
    app::ResultMessage work(messaging::Session &session) override;
};

} // namespace calendar
