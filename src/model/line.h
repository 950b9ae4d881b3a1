#pragma once

#include "model.h"

#include <QDateTime>
#include <QTime>
#include <QTimer>

// One call on one of the user's lines. Unlike the other records it keeps its own attribute
// names and types rather than the server's, and counts the call's duration by itself while the
// call is in state 2. Lines are identified by callId(); id() stays empty.
class Line : public Model<Line>
{
    Q_OBJECT

public:
    Line();

    static Line *fromLineData(const QVariantMap &lineData);
    void setLineData(const QVariantMap &lineData);

    QString callId();
    QTime callDuration();
    // An invalid duration is stored as 00:00:00.000.
    void setCallDuration(QTime duration);
    // Invalid unless the server's text has exactly the form "yyyy-MM-dd HH:mm:ss" (local time).
    QDateTime timestamp() const { return m_timestamp; }

private slots:
    void onSecondsTimer();

private:
    QDateTime m_timestamp;
    // A child of the line, so that it follows the line to another thread.
    QTimer secondsTimer{this};
};

Q_DECLARE_METATYPE(Line *)
