#include "line.h"

namespace {
// The only call state in which the duration counts up.
constexpr int countingState = 2;
}

Line::Line()
    : Model<Line>(QStringLiteral("Line"))
{
    secondsTimer.setObjectName(QStringLiteral("secondsTimer"));
    secondsTimer.setInterval(1000);
    connect(&secondsTimer, &QTimer::timeout, this, &Line::onSecondsTimer);
}

Line *Line::fromLineData(const QVariantMap &lineData)
{
    auto *line = new Line;
    line->setLineData(lineData);
    return line;
}

void Line::setLineData(const QVariantMap &lineData)
{
    const QString ownerId = lineData.value(QStringLiteral("owner_id")).toString();
    const QString callIdentifier = lineData.value(QStringLiteral("callid")).toString();
    const QString firstName = lineData.value(QStringLiteral("firstname")).toString();
    const QString lastName = lineData.value(QStringLiteral("lastname")).toString();
    const QString companyName = lineData.value(QStringLiteral("company")).toString();
    const QString remoteNumber = lineData.value(QStringLiteral("remote_number")).toString();
    const QString pictureUrl = lineData.value(QStringLiteral("pictureURL")).toString();
    const QTime duration = lineData.value(QStringLiteral("duration")).toTime();
    const QString remoteId = lineData.value(QStringLiteral("caller_addressbook_id")).toString();
    const int state = lineData.value(QStringLiteral("state")).toInt();
    const int direction = lineData.value(QStringLiteral("direction")).toInt();
    const QDateTime startTime = QDateTime::fromString(
        lineData.value(QStringLiteral("timestamp")).toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));

    setAttribute(QStringLiteral("owner_id"), ownerId);
    setAttribute(QStringLiteral("callId"), callIdentifier);
    setAttribute(QStringLiteral("firstName"), firstName);
    setAttribute(QStringLiteral("lastName"), lastName);
    setAttribute(QStringLiteral("companyName"), companyName);
    setAttribute(QStringLiteral("remoteNumber"), remoteNumber);
    setAttribute(QStringLiteral("pictureUrl"), pictureUrl);

    if (state == countingState)
        secondsTimer.start();
    else
        secondsTimer.stop();

    setAttribute(QStringLiteral("callState"), state);
    setAttribute(QStringLiteral("callDirection"), direction);
    setCallDuration(duration);
    m_timestamp = startTime;
    setAttribute(QStringLiteral("remoteId"), remoteId);
}

QString Line::callId()
{
    return attribute(QStringLiteral("callId")).toString();
}

QTime Line::callDuration()
{
    return attribute(QStringLiteral("callDuration")).toTime();
}

void Line::setCallDuration(QTime duration)
{
    setAttribute(QStringLiteral("callDuration"), duration.isValid() ? duration : QTime(0, 0, 0, 0));
}

void Line::onSecondsTimer()
{
    // QTime wraps at midnight, so a day-long call starts again from zero.
    setCallDuration(callDuration().addSecs(1));
}
