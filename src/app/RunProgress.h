// RunProgress: a page's progress line while its action runs.
//
// The actions still run on the user-interface thread, to their end, as they always did;
// what changes is that a long run shows how far it is. While a RunProgress lives:
//   - the progress label shows the users and items done, repainted as the run goes (on
//     every user or every 1/200 of the known total, and at least ten times a second),
//     with the paint and window events the screen needs processed in between;
//   - no click, key, wheel or touch reaches any window of the program, nor does a close
//     request from the window manager: the run is never re-entered and nothing changes
//     in the order of its steps, boxes or results. What was clicked or typed during the
//     run is dropped when it ends, not kept for the result box or the page.
// The last text stays on the label when the run ends (an error report shows where the
// run stopped). User-interface thread only; one RunProgress at a time.
#pragma once

#include "actions/Progress.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

class QLabel;

namespace app {

class RunProgress : public QObject {
    Q_OBJECT

public:
    explicit RunProgress(QLabel *label);
    ~RunProgress() override;

    // The callback for the page's work function.
    actions::ProgressCallback callback();

    // The text shown for a report ("3 of 12 users, 1234 items copied").
    static QString text(const actions::Progress &progress);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void update(const actions::Progress &progress);

    QPointer<QLabel> m_label;
    QElapsedTimer m_shown;
    QString m_stage;
    qint64 m_step = -1;
};

} // namespace app
