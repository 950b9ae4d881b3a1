#pragma once

#include "model.h"

// A call queue. No meta-object of its own: it reports itself as a ModelSubclass.
class Queue : public Model<Queue>
{
public:
    Queue();
};

Q_DECLARE_METATYPE(Queue *)

inline Queue::Queue()
    : Model<Queue>(QStringLiteral("Queue"))
{
}
