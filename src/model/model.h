#pragma once

#include "modelsubclass.h"

#include <QMetaType>

// Gives each record type a direct base of its own. T* must be declared with
// Q_DECLARE_METATYPE before the record's constructor is defined: constructing a record
// registers its pointer type, so records can travel through queued connections.
template <typename T>
class Model : public ModelSubclass
{
protected:
    explicit Model(const QString &typeName)
        : ModelSubclass(typeName)
    {
        qRegisterMetaType<T *>();
    }
};
