#pragma once

#include "model.h"
#include "user.h"

// A user that a multi-user login may act for; named like a buddy.
class TapiUser : public Model<TapiUser>
{
    Q_OBJECT

public:
    TapiUser();

    QStringList nameKeys() const override { return User::personNameKeys(); }
};

Q_DECLARE_METATYPE(TapiUser *)

inline TapiUser::TapiUser()
    : Model<TapiUser>(QStringLiteral("TapiUser"))
{
}
