// frmDeleteAllItemsFromLarkspurCalendar: empties the shared calendar, from its last item
// to its first. No input; the hourglass shows while it works; every Finish unloads
// the page. Errors are not trapped here: they reach the top-level error report.
#pragma once

#include "app/ActionPage.h"

class QComboBox;

namespace calendar {

class frmDeleteAllItemsFromLarkspurCalendar : public app::ActionPage {
    Q_OBJECT

public:
    static constexpr const char *WindowName = "frmDeleteAllItemsFromLarkspurCalendar";
    explicit frmDeleteAllItemsFromLarkspurCalendar(QWidget *parent = nullptr);

protected:
    app::ResultMessage work(messaging::Session &session) override;
};

} // namespace calendar
