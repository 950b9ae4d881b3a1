#include "modelsubclass.h"

#include <QMetaMethod>

ModelSubclass::ModelSubclass(const QString &typeName)
    : m_typeName(typeName)
    , m_context(QStringLiteral("default"))
{
}

QStringList ModelSubclass::nameKeys() const
{
    return {};
}

void ModelSubclass::setAttribute(const QString &key, const QVariant &value)
{
    const auto it = m_attributes.constFind(key);
    if (it != m_attributes.cend() && it.value() == value)
        return;
    // Before storing, so that a directly connected receiver can still read the previous value.
    emit changed();
    m_attributes.insert(key, value);
}

QVariant ModelSubclass::attribute(const QString &key)
{
    if (!m_attributes.contains(key)) {
        const auto fallback = m_fallbackAttributes.constFind(key);
        if (fallback != m_fallbackAttributes.cend())
            return fallback.value();
    }
    return m_attributes[key];
}

void ModelSubclass::setContext(const QString &text)
{
    m_context = text;
}

void ModelSubclass::setAttributes(const QVariantMap &map)
{
    // A fresh record that nobody listens to takes the map itself (shared, not copied): every key
    // would be new, and its changed() would reach no one. This skips setAttribute(), which no
    // record type overrides.
    static const QMetaMethod changedSignal = QMetaMethod::fromSignal(&ModelSubclass::changed);
    if (m_attributes.isEmpty() && !isSignalConnected(changedSignal)) {
        m_attributes = map;
        const auto id = map.constFind(QStringLiteral("id"));
        if (id != map.cend())
            m_id = id.value().toString();
        return;
    }
    // A shallow copy: a receiver of changed() may alter the caller's map while we walk it.
    const QVariantMap values = map;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        setAttribute(it.key(), it.value());
        if (it.key() == QLatin1String("id"))
            m_id = it.value().toString();
    }
}

bool ModelSubclass::save()
{
    return false;
}

bool ModelSubclass::saveBinaryField(const QString &field, QByteArray *data)
{
    Q_UNUSED(field)
    Q_UNUSED(data)
    return false;
}

QByteArray *ModelSubclass::getBinaryField(const QString &field)
{
    Q_UNUSED(field)
    return nullptr;
}

bool ModelSubclass::deleteModel()
{
    return false;
}
