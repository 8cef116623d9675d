// ActionPage: the frame every action page shares.
//
// A page is a top-level window (its class name is its objectName) holding the title
// label lblTitle, the button row cmdCancel "Close", cmdFinish "Finish", cmdBack "Back",
// cmdNext "Next", and the fields its subclass adds. The frame runs:
//
//  - page opening (openPage): the captions fitted to their controls (fitCaptions),
//    Back and Finish enabled, Next disabled (for good), Close enabled, then the page's
//    own filling (fillPage);
//  - the minimise icon: when the page is minimised it takes the icon at iconPath(); a
//    missing or unreadable icon file keeps the current icon;
//  - Back: unloads the page; Close: asks "Action Not Completed!", Yes unloads it;
//  - Finish: [error trap] input check, confirmation ("Application Warning!", Yes/No),
//    checks after the confirmation, [wait cursor], logon with "Administrator", the
//    page's work, logoff, result message, release, [wait cursor off], closing step.
//    No in the confirmation goes straight to the closing step. The pages of long runs
//    (every user, the whole shared calendar) have a progress line, lblProgress, that
//    shows how far the work is while no input reaches the program (RunProgress).
//
// With the error trap (the event-script pages) an error after it shows "Error: " +
// description + " (" + number + ")" and ends the handler at once: no logoff, no result,
// no closing step; the page stays open. Without it the error leaves the handler for the
// top-level error report. Every handler runs through runHandler().
//
// A page deletes itself when unloaded (Qt::WA_DeleteOnClose). Not thread-safe: the
// user-interface thread only.
#pragma once

#include "actions/Progress.h"

#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace messaging {
class Session;
}

namespace app {

// Where a page looks for its minimise icon.
enum class IconPlace {
    TesselFolder,      // "C:\Tessel\Books05.ICO"
    ApplicationFolder, // the application's folder, "\" and "Books05.ICO"
};

// What differs between the pages in the frame itself.
struct PageFrame {
    const char *windowName = "";
    QString title;            // lblTitle
    QRect titleTwips;         // lblTitle: left, top, width, height
    int buttonTopTwips = 5520;
    bool errorTrap = false;   // the error report instead of the top-level report
    bool waitCursor = false;  // hourglass from logon to release
    bool closingStep = true;  // Finish (and No) unloads the page
    IconPlace icon = IconPlace::TesselFolder;
    QRect progressTwips{};    // lblProgress: left, top, width, height; none when null
    // Taken after the checks that follow the confirmation and held until the run has
    // ended: what keeps a second run off the same data meanwhile (the shared calendar's
    // lock). None when empty; when it returns nothing the run does not start (it has
    // told the user why) and the page stays as it was.
    std::function<std::shared_ptr<void>()> runGuard{};
};

// The page's own result box.
struct ResultMessage {
    QString text;
    int style = 0;
    QString title; // empty: the default title
};

class ActionPage : public QWidget {
    Q_OBJECT

public:
    explicit ActionPage(const PageFrame &frame, QWidget *parent = nullptr);
    ~ActionPage() override;

    // Page opening; errors leave it (the caller runs it as a handler).
    void openPage();

    // The icon path as the program states it ("C:\Tessel\Books05.ICO", or the
    // application's folder joined with "\" and "Books05.ICO").
    QString iconPath() const;

    // The confirmation question, one line.
    static QString confirmationText();

    QPushButton *cmdCancel() const { return m_cmdCancel; }
    QPushButton *cmdFinish() const { return m_cmdFinish; }
    QPushButton *cmdBack() const { return m_cmdBack; }
    QPushButton *cmdNext() const { return m_cmdNext; }

    // Field builders, for the pages and the field groups they share (MailboxPage,
    // scripts::AddScriptFields): the control is a child of the page, named, placed in
    // twips and in Tahoma 12 pt regular. An editable combo box takes its text as typed
    // (keepTypedText).
    QLabel *addLabel(const char *name, const QString &caption, int left, int top, int width, int height);
    QComboBox *addComboBox(const char *name, bool editable, int left, int top, int width, int height = 405);
    QLineEdit *addTextBox(const char *name, int left, int top, int width, int height);
    QCheckBox *addCheckBox(const char *name, const QString &caption, int left, int top, int width, int height);
    QPushButton *addButton(const char *name, const QString &caption, int left, int top, int width, int height);

    // The common input check: "You must choose a Mailbox from the list".
    static bool requireMailbox(const QComboBox *cboMailbox);

    // Runs a handler of the page (the frame's guard around every handler).
    void runPageHandler(const std::function<void()> &handler);

protected:
    // The page's own filling at opening (pickers).
    virtual void fillPage() {}
    // Input check before the confirmation; shows its own message and returns false
    // when a required field is empty.
    virtual bool inputCheck() { return true; }
    // Checks after the confirmation (event boxes); false ends the handler without the
    // closing step.
    virtual bool checkAfterConfirmation() { return true; }
    // The action's work between logon and logoff; returns the result box.
    virtual ResultMessage work(messaging::Session &session) = 0;
    // For work(): the callback that shows the run's progress on lblProgress; empty on a
    // page without one.
    actions::ProgressCallback progress() const { return m_progress; }

    void changeEvent(QEvent *event) override;

private:
    void back();
    void cancel();
    void finish();
    void finishSteps();
    void closingStep();
    void showMinimiseIcon();

    PageFrame m_frame;
    QLabel *m_lblTitle = nullptr;
    QPushButton *m_cmdCancel = nullptr;
    QPushButton *m_cmdFinish = nullptr;
    QPushButton *m_cmdBack = nullptr;
    QPushButton *m_cmdNext = nullptr;
    QLabel *m_lblProgress = nullptr;
    actions::ProgressCallback m_progress;
};

} // namespace app
