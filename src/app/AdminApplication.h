// AdminApplication: the QApplication of larkspur-admin.
//
// notify() is the last line of the top-level error report: every handler already runs
// through runHandler(), so an error reaching notify() is one that escaped Qt's own
// code paths; it is reported the same way and ends the program.
#pragma once

#include <QApplication>

namespace app {

class AdminApplication : public QApplication {
    Q_OBJECT

public:
    AdminApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Sets up the program's look: the Tahoma faces, the application font (Tahoma) and the
// window icon (Books05.ICO from the application's folder, when it is there).
void setUpApplicationLook();

} // namespace app
