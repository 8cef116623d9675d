#include "ScriptedMessageBoxes.h"

namespace testsupport {

struct ScriptedMessageBoxes::State {
    struct Expected {
        int buttons;
        int answer;
        std::function<void()> whileShown;
    };
    QList<Expected> expected;
    QList<ShownBox> shown;
    QStringList problems;
};

namespace {

class ScriptedPresenter : public app::MessageBoxPresenter {
public:
    explicit ScriptedPresenter(std::shared_ptr<ScriptedMessageBoxes::State> state) : m_state(std::move(state)) {}

    int present(const app::MessageBoxRequest &request) override
    {
        ShownBox box;
        box.text = request.text;
        box.style = request.style;
        box.title = request.title;
        box.icon = request.icon();
        box.buttons = request.buttons();
        const QList<int> offered = app::answersOffered(box.buttons);
        if (m_state->expected.isEmpty()) {
            m_state->problems.append(QStringLiteral("unexpected box \"%1\": %2").arg(box.title, box.text));
            box.answer = offered.last();
        } else {
            ScriptedMessageBoxes::State::Expected next = m_state->expected.takeFirst();
            if (next.buttons != box.buttons)
                m_state->problems.append(QStringLiteral("box \"%1\" offers buttons %2, expected %3: %4")
                                             .arg(box.title)
                                             .arg(box.buttons)
                                             .arg(next.buttons)
                                             .arg(box.text));
            box.answer = offered.contains(next.answer) ? next.answer : offered.last();
            if (next.whileShown)
                next.whileShown();
        }
        m_state->shown.append(box);
        return box.answer;
    }

private:
    std::shared_ptr<ScriptedMessageBoxes::State> m_state;
};

} // namespace

ScriptedMessageBoxes::ScriptedMessageBoxes()
    : m_state(std::make_shared<State>())
{
    m_previous = app::setMessageBoxPresenter(std::make_unique<ScriptedPresenter>(m_state));
}

ScriptedMessageBoxes::~ScriptedMessageBoxes()
{
    app::setMessageBoxPresenter(std::move(m_previous));
}

ScriptedMessageBoxes &ScriptedMessageBoxes::expect(int buttons, int answer, std::function<void()> whileShown)
{
    m_state->expected.append({buttons, answer, std::move(whileShown)});
    return *this;
}

ScriptedMessageBoxes &ScriptedMessageBoxes::expectOk(std::function<void()> whileShown)
{
    return expect(app::MsgStyle::OKOnly, app::MsgAnswer::OK, std::move(whileShown));
}

ScriptedMessageBoxes &ScriptedMessageBoxes::expectYes(std::function<void()> whileShown)
{
    return expect(app::MsgStyle::YesNo, app::MsgAnswer::Yes, std::move(whileShown));
}

ScriptedMessageBoxes &ScriptedMessageBoxes::expectNo(std::function<void()> whileShown)
{
    return expect(app::MsgStyle::YesNo, app::MsgAnswer::No, std::move(whileShown));
}

const QList<ShownBox> &ScriptedMessageBoxes::shown() const
{
    return m_state->shown;
}

QStringList ScriptedMessageBoxes::problems() const
{
    return m_state->problems;
}

int ScriptedMessageBoxes::pending() const
{
    return static_cast<int>(m_state->expected.size());
}

void ScriptedMessageBoxes::reset()
{
    m_state->expected.clear();
    m_state->shown.clear();
    m_state->problems.clear();
}

} // namespace testsupport
