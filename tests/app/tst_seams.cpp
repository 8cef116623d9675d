// The production side of the message box and file dialog seams, built but not shown:
// the buttons, icon, title, text and font of each box style, the answer code of each
// button, and the script file dialog's filters.
#include "ScriptedMessageBoxes.h"
#include "WindowHelpers.h"

#include "app/FileDialogs.h"
#include "app/MessageBoxes.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

class SeamsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(testsupport::closeLeakedWindows().isEmpty()); }
    void messageBox_data();
    void messageBox();
    void defaultTitle();
    void scriptFileDialog();
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
    QTest::newRow("36 question Yes/No") << 36 << QList<int>{QMessageBox::Yes, QMessageBox::No} << QList<int>{6, 7}
                                        << QMessageBox::Question << 7;
    QTest::newRow("49 exclamation OK/Cancel") << 49 << QList<int>{QMessageBox::Ok, QMessageBox::Cancel}
                                              << QList<int>{1, 2} << QMessageBox::Warning << 2;
    QTest::newRow("67 information Yes/No/Cancel")
        << 67 << QList<int>{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel} << QList<int>{6, 7, 2}
        << QMessageBox::Information << 2;
    QTest::newRow("2 Abort/Retry/Ignore") << 2
                                          << QList<int>{QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}
                                          << QList<int>{3, 4, 5} << QMessageBox::NoIcon << 5;
}

void SeamsTest::messageBox()
{
    QFETCH(int, style);
    QFETCH(QList<int>, buttons);
    QFETCH(QList<int>, answers);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(int, closedAnswer);
    app::MessageBoxRequest request;
    request.text = QStringLiteral("first\r\nsecond");
    request.style = style;
    request.title = QStringLiteral("Some Title");

    for (int i = 0; i < buttons.size(); ++i) {
        std::unique_ptr<QMessageBox> box = app::makeMessageBox(request);
        QCOMPARE(box->windowTitle(), QStringLiteral("Some Title"));
        QCOMPARE(box->text(), QStringLiteral("first\nsecond"));
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

void SeamsTest::defaultTitle()
{
    testsupport::ScriptedMessageBoxes boxes;
    boxes.expectOk().expectYes();
    QCOMPARE(app::msgBox(QStringLiteral("no title")), 1);
    QCOMPARE(app::msgBox(QStringLiteral("own title"), 4, QStringLiteral("Mine")), 6);
    QCOMPARE(boxes.shown().at(0).title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    QCOMPARE(boxes.shown().at(1).title, QStringLiteral("Mine"));
    QVERIFY(boxes.allAnswered());
}

void SeamsTest::scriptFileDialog()
{
    std::unique_ptr<QFileDialog> dialog = app::makeFileDialog(nullptr, app::scriptFileRequest());
    QCOMPARE(dialog->nameFilters(),
             (QStringList{"All Files (*.*)", "Text Files (*.txt)", "Batch Files (*.bat)"}));
    QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Text Files (*.txt)"));
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
}

QTEST_MAIN(SeamsTest)
#include "tst_seams.moc"
