// frmSwitchboard: the start window. Ten options; "Next" opens the page of the chosen
// option or, for the last option, runs the folder-identifier action itself.
//
// Each page type is one window object: created and opened on first use, brought
// forward while it is open, created afresh after it was unloaded. Pages have no owner
// and outlive the switchboard: "Close" unloads only the switchboard, and the program
// ends with its last window. Back and Finish are disabled for the window's whole life.
#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace app {
class ActionPage;
}

namespace shell {

class frmSwitchboard : public QWidget {
    Q_OBJECT

public:
    explicit frmSwitchboard(QWidget *parent = nullptr);
    ~frmSwitchboard() override;

    // The open page whose window name is `windowName`, or nullptr.
    static app::ActionPage *openPage(const QString &windowName);

    // The identifier file the folder-identifier action appends to.
    static QString identifierFileName();

private:
    void next();
    void writeFolderIdentifier();
    template <class Page> void showPage();
    void placeBeside(QWidget *page) const;

    QLabel *m_lblTitle = nullptr;
    QGroupBox *m_frame1 = nullptr;
    QPushButton *m_cmdCancel = nullptr;
    QPushButton *m_cmdFinish = nullptr;
    QPushButton *m_cmdBack = nullptr;
    QPushButton *m_cmdNext = nullptr;
    QRadioButton *m_optDeleteAllItemsOnLarkspurCalendar = nullptr;
    QRadioButton *m_optDeleteOneUsersLarkspurCalendarItems = nullptr;
    QRadioButton *m_optCopyAPersonalCalendarToLarkspurCalendar = nullptr;
    QRadioButton *m_optCopyAllPersonalCalendarsToLarkspurCalendar = nullptr;
    QRadioButton *m_optAddEventScriptToOneUsersPersonalCalendar = nullptr;
    QRadioButton *m_optAddEventScriptToAllPersonalCalendars = nullptr;
    QRadioButton *m_optDeleteScriptFromOneFolderInOneMailbox = nullptr;
    QRadioButton *m_optDeleteAllScriptsInAMailbox = nullptr;
    QRadioButton *m_optDeleteAllScriptsInAllMailboxes = nullptr;
    QRadioButton *m_optGetLarkspurCalendarFolderID = nullptr;
};

} // namespace shell
