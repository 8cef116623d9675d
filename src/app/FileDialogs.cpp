#include "app/FileDialogs.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

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

// The filter with the patterns the dialog matches names with. "*.*" is "every file" in
// our captions, a name with or without a dot; Qt reads it literally, as names with a
// dot, so it becomes "*".
QString matchingFilter(const QString &filter)
{
    const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
    if (open < 0 || !filter.endsWith(QLatin1Char(')')))
        return filter;
    static const QRegularExpression separators(QStringLiteral("[ ;]"));
    QStringList patterns = filter.mid(open + 1, filter.size() - open - 2).split(separators, Qt::SkipEmptyParts);
    for (QString &pattern : patterns) {
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
    }
    return filter.left(open + 1) + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

} // namespace

std::unique_ptr<QFileDialog> makeFileDialog(QWidget *parent, const FileDialogRequest &request)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    // Qt's own dialog on every desktop, so that its filters behave the same everywhere.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    // Qt's dialog offers no read-only check box; hideReadOnly needs nothing more here.
    QStringList matching;
    for (const QString &filter : request.filters)
        matching.append(matchingFilter(filter));
    dialog->setNameFilters(matching);
    // The filter box shows the captions as given, "All Files (*.*)" included.
    auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    if (types && types->count() == request.filters.size()) {
        for (int i = 0; i < types->count(); ++i)
            types->setItemText(i, request.filters.at(i));
    } else {
        types = nullptr;
    }
    if (request.initialFilter >= 0 && request.initialFilter < request.filters.size())
        dialog->selectNameFilter((types ? request.filters : matching).at(request.initialFilter));
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
