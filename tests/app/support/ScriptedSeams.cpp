#include "ScriptedSeams.h"

namespace testsupport {

namespace {

// The presenters the program owns while a scripted seam lives; they answer through it.
struct BoxPresenter : app::MessageBoxPresenter {
    explicit BoxPresenter(ScriptedMessageBoxes *owner) : script(owner) {}
    int present(const app::MessageBoxRequest &request) override { return script->present(request); }
    ScriptedMessageBoxes *script;
};

struct DialogPresenter : app::FileDialogPresenter {
    explicit DialogPresenter(ScriptedFileDialog *owner) : script(owner) {}
    std::optional<QString> present(QWidget *, const app::FileDialogRequest &request) override
    {
        return script->present(request);
    }
    ScriptedFileDialog *script;
};

} // namespace

ScriptedMessageBoxes::ScriptedMessageBoxes()
    : m_previous(app::setMessageBoxPresenter(std::make_unique<BoxPresenter>(this)))
{
}

ScriptedMessageBoxes::~ScriptedMessageBoxes()
{
    app::setMessageBoxPresenter(std::move(m_previous));
}

ScriptedMessageBoxes &ScriptedMessageBoxes::expect(int buttons, int answer, std::function<void()> whileShown)
{
    m_expected.append({buttons, answer, std::move(whileShown)});
    return *this;
}

ScriptedMessageBoxes &ScriptedMessageBoxes::expectOk(std::function<void()> whileShown)
{
    return expect(app::MsgStyle::OKOnly, app::MsgAnswer::OK, std::move(whileShown));
}

void ScriptedMessageBoxes::reset()
{
    m_expected.clear();
    m_shown.clear();
    m_problems.clear();
}

int ScriptedMessageBoxes::present(const app::MessageBoxRequest &request)
{
    ShownBox box{request.text, request.style, request.title, request.icon()};
    const QList<int> offered = app::answersOffered(request.buttons());
    box.answer = offered.last();
    if (m_expected.isEmpty()) {
        m_problems.append(QStringLiteral("unexpected box \"%1\": %2").arg(box.title, box.text));
    } else {
        const Expected next = m_expected.takeFirst();
        if (next.buttons != request.buttons())
            m_problems.append(QStringLiteral("box \"%1\" offers buttons %2, expected %3: %4")
                                  .arg(box.title)
                                  .arg(request.buttons())
                                  .arg(next.buttons)
                                  .arg(box.text));
        if (offered.contains(next.answer))
            box.answer = next.answer;
        if (next.whileShown)
            next.whileShown();
    }
    m_shown.append(box);
    return box.answer;
}

ScriptedFileDialog::ScriptedFileDialog()
    : m_previous(app::setFileDialogPresenter(std::make_unique<DialogPresenter>(this)))
{
}

ScriptedFileDialog::~ScriptedFileDialog()
{
    app::setFileDialogPresenter(std::move(m_previous));
}

ScriptedFileDialog &ScriptedFileDialog::choose(const QString &path)
{
    m_answers.append(path);
    return *this;
}

ScriptedFileDialog &ScriptedFileDialog::cancel()
{
    m_answers.append(std::nullopt);
    return *this;
}

std::optional<QString> ScriptedFileDialog::present(const app::FileDialogRequest &request)
{
    m_requests.append(request);
    if (m_answers.isEmpty()) {
        ++m_unexpected;
        return std::nullopt;
    }
    return m_answers.takeFirst();
}

} // namespace testsupport
