#include "terminationwatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal handler may only write to a descriptor; the event loop reads the other end.
int signalSockets[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    (void)!::write(signalSockets[0], &byte, 1);
}

} // namespace

TerminationWatcher::TerminationWatcher(QObject *dialog)
    : QObject(dialog)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, dialog, [dialog] {
        char byte;
        (void)!::read(signalSockets[1], &byte, 1);
        QMetaObject::invokeMethod(dialog, "reject");
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A request that came while the signals were blocked (inherited from the parent) is handled now.
    sigset_t requests;
    sigemptyset(&requests);
    sigaddset(&requests, SIGTERM);
    sigaddset(&requests, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &requests, nullptr);
}

TerminationWatcher::~TerminationWatcher()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}
