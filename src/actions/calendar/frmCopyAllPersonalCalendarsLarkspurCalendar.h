// frmCopyAllPersonalCalendarsLarkspurCalendar: copies every mail user's calendar into the
// shared calendar. No input; every Finish unloads the page. Failures before copying
// has begun reach the top-level error report; later ones are skipped by the work and
// accounted for in the final box.
#pragma once

#include "app/ActionPage.h"

class QComboBox;

namespace calendar {

class frmCopyAllPersonalCalendarsLarkspurCalendar : public app::ActionPage {
    Q_OBJECT

public:
    static constexpr const char *WindowName = "frmCopyAllPersonalCalendarsLarkspurCalendar";
    explicit frmCopyAllPersonalCalendarsLarkspurCalendar(QWidget *parent = nullptr);

protected:
    app::ResultMessage work(messaging::Session &session) override;
};

} // namespace calendar
