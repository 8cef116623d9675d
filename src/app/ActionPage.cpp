#include "app/ActionPage.h"

#include "app/MessageBoxes.h"
#include "app/Pickers.h"
#include "app/RunProgress.h"
#include "app/TopLevelError.h"
#include "app/Twips.h"
#include "core/Error.h"
#include "messaging/Session.h"
#include "textfile/DrivePath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>

#include <exception>
#include <optional>

namespace app {

namespace {

constexpr int ClientWidthTwips = 7260;
constexpr int ClientHeightTwips = 6270;

QPushButton *makeButton(QWidget *page, const char *name, const QString &caption, int left, int top)
{
    auto *button = new QPushButton(caption, page);
    button->setObjectName(QString::fromLatin1(name));
    placeTwips(button, left, top, 1335, 495);
    return button;
}

// Every image of the icon file, or a null icon when there is none to read.
QIcon readIcon(const QString &localPath)
{
    QIcon icon;
    QImageReader reader(localPath);
    do {
        const QImage image = reader.read();
        if (image.isNull())
            break;
        icon.addPixmap(QPixmap::fromImage(image));
    } while (reader.jumpToNextImage());
    return icon;
}

} // namespace

ActionPage::ActionPage(const PageFrame &frame, QWidget *parent)
    : QWidget(parent, Qt::Window), m_frame(frame)
{
    setObjectName(QString::fromLatin1(frame.windowName));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Larkspur Calendar Administration"));
    setFont(tahoma(12, true));
    resize(twipsSize(this, ClientWidthTwips, ClientHeightTwips));

    m_lblTitle = new QLabel(frame.title, this);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblTitle->setFont(tahoma(15.75, true));
    m_lblTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_lblTitle->setWordWrap(true);
    m_lblTitle->setGeometry(twipsRect(this, frame.titleTwips.x(), frame.titleTwips.y(), frame.titleTwips.width(),
                                      frame.titleTwips.height()));

    if (!frame.progressTwips.isNull()) {
        m_lblProgress = new QLabel(this);
        m_lblProgress->setObjectName(QStringLiteral("lblProgress"));
        m_lblProgress->setFont(tahoma(12, false));
        m_lblProgress->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        placeTwips(m_lblProgress, frame.progressTwips.x(), frame.progressTwips.y(), frame.progressTwips.width(),
                   frame.progressTwips.height());
    }

    const int top = frame.buttonTopTwips;
    m_cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("Close"), 180, top);
    m_cmdFinish = makeButton(this, "cmdFinish", QStringLiteral("Finish"), 2060, top);
    m_cmdBack = makeButton(this, "cmdBack", QStringLiteral("Back"), 3940, top);
    m_cmdNext = makeButton(this, "cmdNext", QStringLiteral("Next"), 5820, top);

    connect(m_cmdCancel, &QPushButton::clicked, this, [this] { runPageHandler([this] { cancel(); }); });
    connect(m_cmdFinish, &QPushButton::clicked, this, [this] { runPageHandler([this] { finish(); }); });
    connect(m_cmdBack, &QPushButton::clicked, this, [this] { runPageHandler([this] { back(); }); });
    // "Next" has no action on a page.
}

ActionPage::~ActionPage() = default;

void ActionPage::openPage()
{
    // Every control is placed by now, the page's own fields included.
    fitCaptions(this);
    m_cmdBack->setEnabled(true);
    m_cmdFinish->setEnabled(true);
    m_cmdNext->setEnabled(false);
    m_cmdCancel->setEnabled(true);
    fillPage();
}

QString ActionPage::iconPath() const
{
    if (m_frame.icon == IconPlace::TesselFolder)
        return QStringLiteral("C:\\Tessel\\Books05.ICO");
    return QCoreApplication::applicationDirPath() + QLatin1Char('\\') + QStringLiteral("Books05.ICO");
}

QString ActionPage::confirmationText()
{
    return QStringLiteral("Make sure you are logged in as Administrator on the ")
           + QStringLiteral("Server. Also, all Mailboxes must be shared to the ")
           + QStringLiteral("Admministrator profile for this application to work ")
           + QStringLiteral("correctly. Do you want to continue?");
}

void ActionPage::runPageHandler(const std::function<void()> &handler)
{
    runHandler(handler);
}

void ActionPage::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized))
        runPageHandler([this] { showMinimiseIcon(); });
}

void ActionPage::showMinimiseIcon()
{
    const std::filesystem::path local = textfile::drivePath(iconPath().toStdString());
    const QIcon icon = readIcon(QString::fromStdString(local.string()));
    // A missing or unreadable icon file keeps the icon the window has.
    if (!icon.isNull())
        setWindowIcon(icon);
}

void ActionPage::back()
{
    close();
}

void ActionPage::cancel()
{
    const int answer = msgBox(QStringLiteral("You have not completed the administrative action. Do you want to shut down?"),
                              MsgStyle::YesNo, QStringLiteral("Action Not Completed!"));
    if (answer == MsgAnswer::Yes)
        close();
}

void ActionPage::finish()
{
    if (!m_frame.errorTrap) {
        finishSteps();
        return;
    }
    try {
        finishSteps();
    } catch (const messaging::Error &error) {
        msgBox(QStringLiteral("Error: %1 (%2)").arg(QString::fromStdString(error.description())).arg(error.number()));
    } catch (const std::exception &error) {
        msgBox(QStringLiteral("Error: %1 (%2)")
                   .arg(QString::fromLocal8Bit(error.what()))
                   .arg(messaging::ErrorCode::StoreFailure));
    }
}

void ActionPage::finishSteps()
{
    if (!inputCheck())
        return;
    if (msgBox(confirmationText(), MsgStyle::YesNo, QStringLiteral("Application Warning!")) != MsgAnswer::Yes) {
        closingStep();
        return;
    }
    if (!checkAfterConfirmation())
        return;
    const std::shared_ptr<void> guard = m_frame.runGuard ? m_frame.runGuard() : nullptr;
    if (m_frame.runGuard && !guard)
        return;
    if (m_frame.waitCursor)
        setCursor(Qt::WaitCursor);
    {
        messaging::Session session;
        session.Logon("Administrator");
        ResultMessage result;
        {
            std::optional<RunProgress> running;
            if (m_lblProgress)
                m_progress = running.emplace(m_lblProgress).callback();
            const auto forget = qScopeGuard([this] { m_progress = {}; });
            result = work(session);
        }
        session.Logoff();
        msgBox(result.text, result.style, result.title);
    } // release step: the session and everything taken from it are dropped here
    if (m_frame.waitCursor)
        unsetCursor();
    closingStep();
}

void ActionPage::closingStep()
{
    if (m_frame.closingStep)
        close();
}

QLabel *ActionPage::addLabel(const char *name, const QString &caption, int left, int top, int width, int height)
{
    auto *label = new QLabel(caption, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(tahoma(12, false));
    placeTwips(label, left, top, width, height);
    return label;
}

QComboBox *ActionPage::addComboBox(const char *name, bool editable, int left, int top, int width, int height)
{
    auto *combo = new QComboBox(this);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(editable);
    combo->setInsertPolicy(QComboBox::NoInsert);
    if (editable)
        keepTypedText(combo);
    combo->setFont(tahoma(12, false));
    placeTwips(combo, left, top, width, height);
    return combo;
}

QLineEdit *ActionPage::addTextBox(const char *name, int left, int top, int width, int height)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setFont(tahoma(12, false));
    placeTwips(edit, left, top, width, height);
    return edit;
}

QCheckBox *ActionPage::addCheckBox(const char *name, const QString &caption, int left, int top, int width, int height)
{
    auto *check = new QCheckBox(caption, this);
    check->setObjectName(QString::fromLatin1(name));
    check->setFont(tahoma(12, false));
    placeTwips(check, left, top, width, height);
    return check;
}

QPushButton *ActionPage::addButton(const char *name, const QString &caption, int left, int top, int width, int height)
{
    auto *button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    placeTwips(button, left, top, width, height);
    return button;
}

bool ActionPage::requireMailbox(const QComboBox *cboMailbox)
{
    if (!cboMailbox->currentText().isEmpty())
        return true;
    msgBox(QStringLiteral("You must choose a Mailbox from the list"), MsgStyle::OKOnly | MsgStyle::Critical,
           QStringLiteral("Choose Mailbox"));
    return false;
}

} // namespace app
