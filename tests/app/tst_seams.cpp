// The production side of the message box and file dialog seams, built but not shown:
// the buttons, icon, title, text and font of each box style, the answer code of each
// button, and the script file dialog's filters.
#include "WindowHelpers.h"

#include "actions/scripts/ScriptFields.h"
#include "app/FileDialogs.h"
#include "app/MessageBoxes.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class SeamsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(testsupport::windows().isEmpty()); }
    void messageBox_data();
    void messageBox();
    void scriptFileDialog();
};

Q_DECLARE_METATYPE(QMessageBox::Icon)

void SeamsTest::messageBox_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QList<int>>("buttons"); // QMessageBox::StandardButton, by value
    QTest::addColumn<QList<int>>("answers"); // the code of each button, then of closing the box

    QTest::newRow("0 OK") << 0 << QMessageBox::NoIcon << QList<int>{QMessageBox::Ok} << QList<int>{1, 1};
    QTest::newRow("16 critical OK") << 16 << QMessageBox::Critical << QList<int>{QMessageBox::Ok} << QList<int>{1, 1};
    QTest::newRow("4 Yes/No") << 4 << QMessageBox::NoIcon << QList<int>{QMessageBox::Yes, QMessageBox::No}
                              << QList<int>{6, 7, 7};
    QTest::newRow("67 information Yes/No/Cancel")
        << 67 << QMessageBox::Information << QList<int>{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}
        << QList<int>{6, 7, 2, 2};
}

void SeamsTest::messageBox()
{
    QFETCH(int, style);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QList<int>, buttons);
    QFETCH(QList<int>, answers);
    // A folder name the user typed may look like markup: it is shown as typed.
    const app::MessageBoxRequest request{QStringLiteral("Folder \"<b>Bold</b> folder\" not found\r\nsecond"), style,
                                         QStringLiteral("<i>Some</i> Title")};
    std::unique_ptr<QMessageBox> closed = app::makeMessageBox(request);
    QCOMPARE(closed->windowTitle(), request.title);
    QCOMPARE(closed->text(), QStringLiteral("Folder \"<b>Bold</b> folder\" not found\nsecond"));
    QCOMPARE(closed->textFormat(), Qt::PlainText);
    QCOMPARE(closed->icon(), icon);
    QCOMPARE(closed->font(), QApplication::font());
    QList<int> offered;
    for (QAbstractButton *button : closed->buttons())
        offered.append(static_cast<int>(closed->standardButton(button)));
    std::sort(offered.begin(), offered.end());
    QCOMPARE(offered, buttons);
    QCOMPARE(static_cast<int>(closed->standardButton(closed->defaultButton())), buttons.first());
    QCOMPARE(app::answerOf(*closed, request), answers.last());
    for (int i = 0; i < buttons.size(); ++i) {
        std::unique_ptr<QMessageBox> box = app::makeMessageBox(request);
        box->button(static_cast<QMessageBox::StandardButton>(buttons.at(i)))->click();
        QCOMPARE(app::answerOf(*box, request), answers.at(i));
    }
}

void SeamsTest::scriptFileDialog()
{
    // Production's dialog, shown without running it: the captions as given, text files
    // first, and "All Files (*.*)" lists a file without a dot.
    QTemporaryDir dir;
    for (const char *name : {"README", "a.txt"})
        QVERIFY(QFile(dir.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly));
    std::unique_ptr<QFileDialog> dialog = app::makeFileDialog(nullptr, scripts::scriptFileRequest());
    QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Text Files (*.txt)"));
    dialog->setDirectory(dir.path());
    dialog->selectNameFilter(QStringLiteral("All Files (*.*)"));
    dialog->show();
    const auto texts = [](const QAbstractItemModel *model, const QModelIndex &parent = {}) {
        QStringList list;
        for (int row = 0; row < model->rowCount(parent); ++row)
            list << model->index(row, 0, parent).data().toString();
        return list;
    };
    QCOMPARE(texts(dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"))->model()),
             (QStringList{"All Files (*.*)", "Text Files (*.txt)", "Batch Files (*.bat)"}));
    auto *files = dialog->findChild<QListView *>(QStringLiteral("listView"));
    QTRY_COMPARE(texts(files->model(), files->rootIndex()), (QStringList{"a.txt", "README"}));
}

QTEST_MAIN(SeamsTest)
#include "tst_seams.moc"
