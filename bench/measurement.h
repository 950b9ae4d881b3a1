#pragma once

#include <QString>
#include <QVector>

#include <functional>

// Helpers shared by the benchmark programs: timing, medians, memory figures and output.
namespace Measurement {

// The calling thread's CPU time in milliseconds since start(). Unlike wall time it is not
// stretched when other processes compete for the machine's cores.
class ThreadClock
{
public:
    void start();
    double elapsed() const;

private:
    double begun = 0;
};

// Wall-clock milliseconds spent in work.
double milliseconds(const std::function<void()> &work);
// The calling thread's CPU milliseconds spent in work.
double cpuMilliseconds(const std::function<void()> &work);
double median(QVector<double> values);
// The number of runs: the program's first argument when it is a positive number, else standard.
int runCount(int argc, char *argv[], int standard);
// Sends Qt's default message output (standard error) to /dev/null, as a user without a
// console has it; the benchmarks report on standard output.
void discardStandardError();
// Runs the event loop for a while, so that deferred deletions and late frames settle.
void settle(int ms);
// Peak and current resident set of a process in KiB, from /proc; -1 when unknown.
qint64 peakResidentKiB(qint64 pid);
qint64 residentKiB(qint64 pid);
// Bytes the C heap has handed out and not taken back.
qint64 heapInUse();
// Gives the heap's free memory back to the system, so that resident growth counts new data only.
void releaseFreeMemory();

// One line of the report: label, then the text.
void print(const QString &label, const QString &text);
// "x ms, baseline y ms, ratio r (goal <= g: met)"; a goal of 0 prints none.
void printRatio(const QString &label, double subject, double baseline, double goal,
                const QString &unit = QStringLiteral("ms"), const QString &baselineName = QStringLiteral("baseline"));

} // namespace Measurement
