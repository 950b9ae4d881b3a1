#pragma once

#include <QObject>

#ifdef Q_OS_WIN
// Windows sends the dialog's window a close request itself, which Qt handles.
class TerminationWatcher : public QObject
{
public:
    explicit TerminationWatcher(QObject *dialog)
        : QObject(dialog)
    {
    }
};
#else
// Rejects a dialog, as its window's close button would, when the system asks the program to
// end (SIGTERM, SIGINT): the counterpart of the close request Windows sends.
// One watcher per process; it takes any object with a reject() slot.
class TerminationWatcher : public QObject
{
public:
    explicit TerminationWatcher(QObject *dialog);
    ~TerminationWatcher() override;
};
#endif
