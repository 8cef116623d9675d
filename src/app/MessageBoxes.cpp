#include "app/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTextStream>

#include <cstdio>

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

// Answers from LARKSPUR_SCRIPTED_BOXES and reports every box on standard error, so a
// test can run the whole program without anyone at the screen.
class EnvironmentPresenter : public MessageBoxPresenter {
public:
    explicit EnvironmentPresenter(const QByteArray &script)
    {
        for (const QByteArray &part : script.split(',')) {
            bool ok = false;
            const int answer = part.trimmed().toInt(&ok);
            if (ok)
                m_answers.append(answer);
        }
    }
    int present(const MessageBoxRequest &request) override
    {
        const QList<int> offered = answersOffered(request.buttons());
        int answer = offered.first();
        if (!m_answers.isEmpty() && offered.contains(m_answers.first()))
            answer = m_answers.takeFirst();
        else if (!m_answers.isEmpty())
            m_answers.removeFirst();
        QString line;
        QTextStream(&line) << "BOX style=" << request.style << " title=" << request.title
                           << " text=" << QString(request.text).replace(QLatin1String("\r\n"), QLatin1String("\\r\\n"))
                           << " answer=" << answer << '\n';
        std::fputs(line.toUtf8().constData(), stderr);
        std::fflush(stderr);
        return answer;
    }

private:
    QList<int> m_answers;
};

std::unique_ptr<MessageBoxPresenter> &presenter()
{
    static std::unique_ptr<MessageBoxPresenter> current;
    return current;
}

MessageBoxPresenter &activePresenter()
{
    std::unique_ptr<MessageBoxPresenter> &current = presenter();
    if (!current) {
        const QByteArray script = qgetenv("LARKSPUR_SCRIPTED_BOXES");
        if (!script.isNull())
            current = std::make_unique<EnvironmentPresenter>(script);
        else
            current = std::make_unique<WidgetPresenter>();
    }
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
