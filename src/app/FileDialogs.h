// The file dialog seam: choosing a script file goes through openFileName().
//
// Production shows a modal QFileDialog (Qt's own, not the desktop's) for opening one
// existing file, offering the request's filters in their order and starting on the one
// given; a filter's "*.*" lists every file, also names without a dot. It returns the
// chosen file's full path, or nothing when the user cancels. Tests install a presenter
// of their own that answers from a script and records the requests (tests/app/support).
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QFileDialog;
class QWidget;

namespace app {

struct FileDialogRequest {
    QStringList filters;     // "Text Files (*.txt)" ...
    int initialFilter = 0;   // index into filters, from 0
    bool hideReadOnly = true;
};

// The script file dialog of the add-script pages: all files, text files, batch files,
// starting on text files, without a read-only option.
FileDialogRequest scriptFileRequest();

class FileDialogPresenter {
public:
    virtual ~FileDialogPresenter() = default;
    virtual std::optional<QString> present(QWidget *parent, const FileDialogRequest &request) = 0;
};

std::optional<QString> openFileName(QWidget *parent, const FileDialogRequest &request);

// The dialog production shows for a request (built, not shown).
std::unique_ptr<QFileDialog> makeFileDialog(QWidget *parent, const FileDialogRequest &request);

// Replaces the presenter; returns the previous one. nullptr restores production.
std::unique_ptr<FileDialogPresenter> setFileDialogPresenter(std::unique_ptr<FileDialogPresenter> presenter);

} // namespace app
