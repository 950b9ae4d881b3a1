#include "measurement.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace Measurement {

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

static double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void ThreadClock::start()
{
    begun = threadMilliseconds();
}

double ThreadClock::elapsed() const
{
    return threadMilliseconds() - begun;
}

double cpuMilliseconds(const std::function<void()> &work)
{
    ThreadClock clock;
    clock.start();
    work();
    return clock.elapsed();
}

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

int runCount(int argc, char *argv[], int standard)
{
    const int given = argc > 1 ? QByteArray(argv[1]).toInt() : 0;
    return given > 0 ? given : standard;
}

void discardStandardError()
{
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

static qint64 statusKiB(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

qint64 peakResidentKiB(qint64 pid)
{
    return statusKiB(pid, "VmHWM");
}

qint64 residentKiB(qint64 pid)
{
    return statusKiB(pid, "VmRSS");
}

qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

void releaseFreeMemory()
{
    malloc_trim(0);
}

void print(const QString &label, const QString &text)
{
    std::printf("%-44s %s\n", label.toUtf8().constData(), text.toUtf8().constData());
    std::fflush(stdout);
}

void printRatio(const QString &label, double subject, double baseline, double goal, const QString &unit,
                const QString &baselineName)
{
    const double ratio = baseline > 0 ? subject / baseline : 0;
    QString text = QStringLiteral("%1 %3, %4 %2 %3, ratio %5")
                           .arg(subject, 0, 'f', 2)
                           .arg(baseline, 0, 'f', 2)
                           .arg(unit, baselineName)
                           .arg(ratio, 0, 'f', 2);
    if (goal > 0) {
        text += QStringLiteral(" (goal <= %1: %2)")
                        .arg(goal, 0, 'f', 1)
                        .arg(ratio <= goal ? QStringLiteral("met") : QStringLiteral("NOT met"));
    }
    print(label, text);
}

} // namespace Measurement
