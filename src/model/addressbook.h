#pragma once

#include "model.h"

// One of the user's address books, as the server describes it.
class Addressbook : public Model<Addressbook>
{
    Q_OBJECT

public:
    Addressbook();
};

Q_DECLARE_METATYPE(Addressbook *)

inline Addressbook::Addressbook()
    : Model<Addressbook>(QStringLiteral("Addressbook"))
{
}
