#pragma once

#include <QObject>


// Rejects a dialog, as its window's close button would, when the system asks the program to
// end: the Unix counterpart of the close request Windows sends, which Qt already handles.
// One watcher per process; it takes any object with a reject() slot.
class TerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject *dialog);
    ~TerminationWatcher() override;
};
