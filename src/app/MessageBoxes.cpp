#include "app/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace app {

namespace {

QMessageBox::StandardButton buttonFor(int answer)
{
    switch (answer) {
    case MsgAnswer::OK: return QMessageBox::Ok;
    case MsgAnswer::Cancel: return QMessageBox::Cancel;
    case MsgAnswer::Abort: return QMessageBox::Abort;
    case MsgAnswer::Retry: return QMessageBox::Retry;
    case MsgAnswer::Ignore: return QMessageBox::Ignore;
    case MsgAnswer::Yes: return QMessageBox::Yes;
    case MsgAnswer::No: return QMessageBox::No;
    default: return QMessageBox::NoButton;
    }
}

int answerFor(QMessageBox::StandardButton button)
{
    for (int answer = MsgAnswer::OK; answer <= MsgAnswer::No; ++answer) {
        if (buttonFor(answer) == button)
            return answer;
    }
    return -1;
}

int cancellingAnswer(const QList<int> &answers)
{
    return answers.contains(MsgAnswer::Cancel) ? MsgAnswer::Cancel : answers.last();
}

class WidgetPresenter : public MessageBoxPresenter {
public:
    int present(const MessageBoxRequest &request) override
    {
        std::unique_ptr<QMessageBox> box = makeMessageBox(request);
        box->exec();
        return answerOf(*box, request);
    }
};

std::unique_ptr<MessageBoxPresenter> &presenter()
{
    static std::unique_ptr<MessageBoxPresenter> current;
    return current;
}

MessageBoxPresenter &activePresenter()
{
    std::unique_ptr<MessageBoxPresenter> &current = presenter();
    if (!current)
        current = std::make_unique<WidgetPresenter>();
    return *current;
}

} // namespace

std::unique_ptr<QMessageBox> makeMessageBox(const MessageBoxRequest &request)
{
    auto box = std::make_unique<QMessageBox>();
    box->setFont(QApplication::font());
    box->setWindowTitle(request.title);
    // The program's texts break lines with CR LF. They carry names the user typed and
    // descriptions from the store, so they are never read as markup.
    QString text = request.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    switch (request.icon()) {
    case MsgIcon::Critical: box->setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box->setIcon(QMessageBox::Question); break;
    case MsgIcon::Exclamation: box->setIcon(QMessageBox::Warning); break;
    case MsgIcon::Information: box->setIcon(QMessageBox::Information); break;
    case MsgIcon::None: break;
    }
    const QList<int> answers = answersOffered(request.buttons());
    for (int answer : answers)
        box->addButton(buttonFor(answer));
    box->setDefaultButton(buttonFor(answers.first()));
    box->setEscapeButton(buttonFor(cancellingAnswer(answers)));
    return box;
}

int answerOf(const QMessageBox &box, const MessageBoxRequest &request)
{
    const QList<int> answers = answersOffered(request.buttons());
    const int answer = answerFor(box.standardButton(box.clickedButton()));
    return answers.contains(answer) ? answer : cancellingAnswer(answers);
}

MsgIcon MessageBoxRequest::icon() const
{
    switch (style & 0x70) {
    case MsgStyle::Critical: return MsgIcon::Critical;
    case MsgStyle::Question: return MsgIcon::Question;
    case MsgStyle::Exclamation: return MsgIcon::Exclamation;
    case MsgStyle::Information: return MsgIcon::Information;
    default: return MsgIcon::None;
    }
}

QList<int> answersOffered(int buttons)
{
    switch (buttons) {
    case MsgStyle::OKCancel: return {MsgAnswer::OK, MsgAnswer::Cancel};
    case MsgStyle::AbortRetryIgnore: return {MsgAnswer::Abort, MsgAnswer::Retry, MsgAnswer::Ignore};
    case MsgStyle::YesNoCancel: return {MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Cancel};
    case MsgStyle::YesNo: return {MsgAnswer::Yes, MsgAnswer::No};
    case MsgStyle::RetryCancel: return {MsgAnswer::Retry, MsgAnswer::Cancel};
    default: return {MsgAnswer::OK};
    }
}

int msgBox(const QString &text, int style, const QString &title)
{
    MessageBoxRequest request;
    request.text = text;
    request.style = style;
    request.title = title.isEmpty() ? QString::fromLatin1(DefaultTitle) : title;
    return activePresenter().present(request);
}

std::unique_ptr<MessageBoxPresenter> setMessageBoxPresenter(std::unique_ptr<MessageBoxPresenter> replacement)
{
    std::unique_ptr<MessageBoxPresenter> previous = std::move(presenter());
    presenter() = std::move(replacement);
    return previous;
}

} // namespace app
