// The message box seam: every box the program shows goes through msgBox().
//
// The signature is the classic one: a text, a style number and a title, returning the
// code of the button pressed. The style is the sum of one button set (0 OK, 1 OK/Cancel,
// 2 Abort/Retry/Ignore, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel) and one icon (16
// critical, 32 question, 48 exclamation, 64 information). A box without a title of its
// own carries the application's default title.
//
// Production shows a modal QMessageBox in the application font. Tests install a
// presenter of their own (setMessageBoxPresenter) that answers from a script and
// records every box; see tests/app/support, and tests/seams for the test build of the
// whole program.
//
// Everything here runs on the user-interface thread.
#pragma once

#include <QString>

#include <memory>

class QMessageBox;

namespace app {

inline constexpr const char *DefaultTitle = "LarkspurCalendarAdministrationApp";

namespace MsgStyle {
inline constexpr int OKOnly = 0;
inline constexpr int OKCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
} // namespace MsgStyle

namespace MsgAnswer {
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
} // namespace MsgAnswer

enum class MsgIcon { None, Critical, Question, Exclamation, Information };

// One box as the program asks for it.
struct MessageBoxRequest {
    QString text;
    int style = 0;
    QString title; // already defaulted
    int buttons() const { return style & 7; }
    MsgIcon icon() const;
};

// The answer codes a box of `buttons` (style & 7) offers, in button order.
QList<int> answersOffered(int buttons);

class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    // Shows the box and returns the code of the button pressed.
    virtual int present(const MessageBoxRequest &request) = 0;
};

// The box production shows for a request (built, not shown): its buttons, icon, title,
// text (plain text, CR LF shown as a line break) and the application font.
std::unique_ptr<QMessageBox> makeMessageBox(const MessageBoxRequest &request);
// The answer code of the button pressed in such a box; a box closed without a button
// gives its cancelling answer (Cancel, else the last button: No or OK).
int answerOf(const QMessageBox &box, const MessageBoxRequest &request);

// Shows a box; an empty title becomes DefaultTitle.
int msgBox(const QString &text, int style = MsgStyle::OKOnly, const QString &title = QString());

// Replaces the presenter; returns the previous one. nullptr restores production.
std::unique_ptr<MessageBoxPresenter> setMessageBoxPresenter(std::unique_ptr<MessageBoxPresenter> presenter);

} // namespace app
