// frmAUserPersonalCalendarToLarkspurCalendar: copies the calendar of the user chosen in
// cboMailbox (a list entry or typed text) into the shared calendar. An empty choice is
// refused before the confirmation; every other Finish unloads the page. Errors are not
// trapped here: they reach the top-level error report.
#pragma once

#include "app/MailboxPage.h"

namespace calendar {

class frmAUserPersonalCalendarToLarkspurCalendar : public app::MailboxPage {
    Q_OBJECT

public:
    static constexpr const char *WindowName = "frmAUserPersonalCalendarToLarkspurCalendar";
    explicit frmAUserPersonalCalendarToLarkspurCalendar(QWidget *parent = nullptr);

protected:
    app::ResultMessage work(messaging::Session &session) override;
};

} // namespace calendar
