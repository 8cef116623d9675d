// Scripted file dialog for GUI tests (larkspur_test_support): installs itself as the
// file dialog presenter for its lifetime; each dialog takes the next scripted answer
// (a full path, or std::nullopt for "Cancel") and its request is recorded. A dialog
// nobody scripted is answered with "Cancel" and counted in unexpected().
#pragma once

#include "app/FileDialogs.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace testsupport {

class ScriptedFileDialog {
public:
    ScriptedFileDialog();
    ~ScriptedFileDialog();
    ScriptedFileDialog(const ScriptedFileDialog &) = delete;
    ScriptedFileDialog &operator=(const ScriptedFileDialog &) = delete;

    ScriptedFileDialog &choose(const QString &path);
    ScriptedFileDialog &cancel();

    const QList<app::FileDialogRequest> &requests() const;
    int unexpected() const;
    int pending() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
    std::unique_ptr<app::FileDialogPresenter> m_previous;
};

} // namespace testsupport
