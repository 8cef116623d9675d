#include "app/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace app {

namespace {

class WidgetPresenter : public FileDialogPresenter {
public:
    std::optional<QString> present(QWidget *parent, const FileDialogRequest &request) override
    {
        std::unique_ptr<QFileDialog> dialog = makeFileDialog(parent, request);
        if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
            return std::nullopt;
        return QFileInfo(dialog->selectedFiles().constFirst()).absoluteFilePath();
    }
};

std::unique_ptr<FileDialogPresenter> &presenter()
{
    static std::unique_ptr<FileDialogPresenter> current;
    return current;
}

} // namespace

std::unique_ptr<QFileDialog> makeFileDialog(QWidget *parent, const FileDialogRequest &request)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    // Qt's dialog offers no read-only check box; hideReadOnly needs nothing more here.
    dialog->setNameFilters(request.filters);
    if (request.initialFilter >= 0 && request.initialFilter < request.filters.size())
        dialog->selectNameFilter(request.filters.at(request.initialFilter));
    return dialog;
}

FileDialogRequest scriptFileRequest()
{
    FileDialogRequest request;
    request.filters = QStringList{QStringLiteral("All Files (*.*)"), QStringLiteral("Text Files (*.txt)"),
                                  QStringLiteral("Batch Files (*.bat)")};
    request.initialFilter = 1;
    request.hideReadOnly = true;
    return request;
}

std::optional<QString> openFileName(QWidget *parent, const FileDialogRequest &request)
{
    std::unique_ptr<FileDialogPresenter> &current = presenter();
    if (!current)
        current = std::make_unique<WidgetPresenter>();
    return current->present(parent, request);
}

std::unique_ptr<FileDialogPresenter> setFileDialogPresenter(std::unique_ptr<FileDialogPresenter> replacement)
{
    std::unique_ptr<FileDialogPresenter> previous = std::move(presenter());
    presenter() = std::move(replacement);
    return previous;
}

} // namespace app
