#pragma once

#include "model.h"

// A call-forwarding preset. No meta-object of its own: it reports itself as a ModelSubclass.
class ForwardPreset : public Model<ForwardPreset>
{
public:
    ForwardPreset();
};

Q_DECLARE_METATYPE(ForwardPreset *)

inline ForwardPreset::ForwardPreset()
    : Model<ForwardPreset>(QStringLiteral("ForwardPreset"))
{
}
