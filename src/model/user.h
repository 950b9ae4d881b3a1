#pragma once

#include "model.h"

// A presence buddy of the logged-in user.
class User : public Model<User>
{
    Q_OBJECT

public:
    User();

    QStringList nameKeys() const override { return personNameKeys(); }
    static QStringList personNameKeys()
    {
        return {QStringLiteral("name"), QStringLiteral("firstname"), QStringLiteral("lastname")};
    }
};

Q_DECLARE_METATYPE(User *)

inline User::User()
    : Model<User>(QStringLiteral("User"))
{
}
