#include "ScriptedFileDialog.h"

namespace testsupport {

struct ScriptedFileDialog::State {
    QList<std::optional<QString>> answers;
    QList<app::FileDialogRequest> requests;
    int unexpected = 0;
};

namespace {

class ScriptedPresenter : public app::FileDialogPresenter {
public:
    explicit ScriptedPresenter(std::shared_ptr<ScriptedFileDialog::State> state) : m_state(std::move(state)) {}
    std::optional<QString> present(QWidget *, const app::FileDialogRequest &request) override
    {
        m_state->requests.append(request);
        if (m_state->answers.isEmpty()) {
            ++m_state->unexpected;
            return std::nullopt;
        }
        return m_state->answers.takeFirst();
    }

private:
    std::shared_ptr<ScriptedFileDialog::State> m_state;
};

} // namespace

ScriptedFileDialog::ScriptedFileDialog()
    : m_state(std::make_shared<State>())
{
    m_previous = app::setFileDialogPresenter(std::make_unique<ScriptedPresenter>(m_state));
}

ScriptedFileDialog::~ScriptedFileDialog()
{
    app::setFileDialogPresenter(std::move(m_previous));
}

ScriptedFileDialog &ScriptedFileDialog::choose(const QString &path)
{
    m_state->answers.append(path);
    return *this;
}

ScriptedFileDialog &ScriptedFileDialog::cancel()
{
    m_state->answers.append(std::nullopt);
    return *this;
}

const QList<app::FileDialogRequest> &ScriptedFileDialog::requests() const
{
    return m_state->requests;
}

int ScriptedFileDialog::unexpected() const
{
    return m_state->unexpected;
}

int ScriptedFileDialog::pending() const
{
    return static_cast<int>(m_state->answers.size());
}

} // namespace testsupport
