#include "terminationwatcher.h"

// Windows sends the dialog's window a close request itself.
TerminationWatcher::TerminationWatcher(QObject *dialog)
    : QObject(dialog)
{
}

TerminationWatcher::~TerminationWatcher() = default;
