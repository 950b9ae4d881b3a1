#pragma once

#include "model.h"

// One contact entry of an address book.
class Addresses : public Model<Addresses>
{
    Q_OBJECT

public:
    Addresses();
};

Q_DECLARE_METATYPE(Addresses *)

inline Addresses::Addresses()
    : Model<Addresses>(QStringLiteral("Addresses"))
{
}
