#pragma once

#include "model.h"

// One of the user's phones.
class Phone : public Model<Phone>
{
    Q_OBJECT

public:
    Phone();
};

Q_DECLARE_METATYPE(Phone *)

inline Phone::Phone()
    : Model<Phone>(QStringLiteral("Phones"))
{
}
