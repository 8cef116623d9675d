// The production side of the message box and file dialog seams, built but not shown:
// the buttons, icon, title, text and font of each box style, the answer code of each
// button, the script file dialog's filters, and the workstation's decimal separator.
#include "WindowHelpers.h"

#include "actions/calendar/CalendarActions.h"
#include "app/FileDialogs.h"
#include "app/MessageBoxes.h"
#include "app/WorkstationLocale.h"

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
    void cleanup() { QVERIFY(testsupport::closeLeakedWindows().isEmpty()); }
    void messageBox_data();
    void messageBox();
    void scriptFileDialog();
    void workstationDecimalSeparator();
};

Q_DECLARE_METATYPE(QMessageBox::Icon)

void SeamsTest::messageBox_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QList<int>>("buttons"); // QMessageBox::StandardButton, in order
    QTest::addColumn<QList<int>>("answers"); // the code of each button
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<int>("closedAnswer");   // closed without a button

    QTest::newRow("0 OK") << 0 << QList<int>{QMessageBox::Ok} << QList<int>{1} << QMessageBox::NoIcon << 1;
    QTest::newRow("16 critical OK") << 16 << QList<int>{QMessageBox::Ok} << QList<int>{1} << QMessageBox::Critical
                                    << 1;
    QTest::newRow("4 Yes/No") << 4 << QList<int>{QMessageBox::Yes, QMessageBox::No} << QList<int>{6, 7}
                              << QMessageBox::NoIcon << 7;
    QTest::newRow("67 information Yes/No/Cancel")
        << 67 << QList<int>{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel} << QList<int>{6, 7, 2}
        << QMessageBox::Information << 2;
}

void SeamsTest::messageBox()
{
    QFETCH(int, style);
    QFETCH(QList<int>, buttons);
    QFETCH(QList<int>, answers);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(int, closedAnswer);
    app::MessageBoxRequest request;
    // A folder name the user typed may look like markup: it is shown as typed.
    request.text = QStringLiteral("Folder \"<b>Bold</b> folder\" not found\r\nsecond");
    request.style = style;
    request.title = QStringLiteral("<i>Some</i> Title");

    for (int i = 0; i < buttons.size(); ++i) {
        std::unique_ptr<QMessageBox> box = app::makeMessageBox(request);
        QCOMPARE(box->windowTitle(), QStringLiteral("<i>Some</i> Title"));
        QCOMPARE(box->text(), QStringLiteral("Folder \"<b>Bold</b> folder\" not found\nsecond"));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->icon(), icon);
        QCOMPARE(box->font(), QApplication::font());
        QList<int> offered;
        for (QAbstractButton *button : box->buttons())
            offered.append(static_cast<int>(box->standardButton(button)));
        std::sort(offered.begin(), offered.end());
        QList<int> expected = buttons;
        std::sort(expected.begin(), expected.end());
        QCOMPARE(offered, expected);
        box->button(static_cast<QMessageBox::StandardButton>(buttons.at(i)))->click();
        QCOMPARE(app::answerOf(*box, request), answers.at(i));
    }
    std::unique_ptr<QMessageBox> closed = app::makeMessageBox(request);
    QCOMPARE(app::answerOf(*closed, request), closedAnswer);
    QCOMPARE(static_cast<int>(closed->standardButton(closed->defaultButton())), buttons.first());
}

void SeamsTest::scriptFileDialog()
{
    // Production's dialog, shown without running it: the captions as given, text files
    // first, and "All Files (*.*)" lists a file without a dot.
    QTemporaryDir dir;
    for (const char *name : {"README", "a.txt"})
        QVERIFY(QFile(dir.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly));
    std::unique_ptr<QFileDialog> dialog = app::makeFileDialog(nullptr, app::scriptFileRequest());
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

// ctest runs this once more under a German locale that the C library need not have:
// LARKSPUR_EXPECT_DECIMAL names the separator the copy's day numbers must then use.
void SeamsTest::workstationDecimalSeparator()
{
    const QByteArray expected = qgetenv("LARKSPUR_EXPECT_DECIMAL");
    if (expected.isEmpty())
        QSKIP("run by ctest with LARKSPUR_EXPECT_DECIMAL and a locale");
    const std::locale locale = app::workstationNumberLocale();
    QCOMPARE(QByteArray(1, std::use_facet<std::numpunct<char>>(locale).decimal_point()), expected);
    QCOMPARE(QByteArray::fromStdString(calendar::dayNumberText(45000.5, locale)), "45000" + expected + "5");
}

QTEST_MAIN(SeamsTest)
#include "tst_seams.moc"
