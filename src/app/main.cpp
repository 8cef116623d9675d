// larkspur-admin: shows the switchboard; the program ends with its last window, or with
// exit status 1 after the top-level error report.
#include "app/AdminApplication.h"
#include "app/TopLevelError.h"
#include "app/frmSwitchboard.h"

int main(int argc, char **argv)
{
    app::AdminApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("larkspur-admin"));
    app::setUpApplicationLook();

    auto *switchboard = new app::frmSwitchboard;
    switchboard->show();

    const int status = application.exec();
    return app::unhandledErrorReported() ? 1 : status;
}
