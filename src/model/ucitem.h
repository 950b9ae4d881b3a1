#pragma once

#include "model.h"

// A unified-communications item. No meta-object of its own: it reports itself as a ModelSubclass.
class UCItem : public Model<UCItem>
{
public:
    UCItem();
};

Q_DECLARE_METATYPE(UCItem *)

inline UCItem::UCItem()
    : Model<UCItem>(QStringLiteral("UCItem"))
{
}
