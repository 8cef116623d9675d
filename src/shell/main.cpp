// larkspur-admin: shows the switchboard; the program ends with its last window, or with
// exit status 1 after the top-level error report.
#include "app/TopLevelError.h"
#include "shell/AdminApplication.h"
#include "shell/frmSwitchboard.h"

int main(int argc, char **argv)
{
    shell::AdminApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("larkspur-admin"));
    shell::setUpApplicationLook();

    auto *switchboard = new shell::frmSwitchboard;
    switchboard->show();

    const int status = application.exec();
    return app::unhandledErrorReported() ? 1 : status;
}
