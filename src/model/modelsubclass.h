#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class QByteArray;

// Root of every record the CTI client builds from server data: the server's values as a loose
// map of named attributes, a changed() notification for real changes only, and a save/delete
// vocabulary reachable by name through the meta-object. Records have no parent so that they can
// be moved to the thread of whoever receives them.
class ModelSubclass : public QObject
{
    Q_OBJECT

public:
    explicit ModelSubclass(const QString &typeName);

    QString typeName() const { return m_typeName; }

    QString id() const { return m_id; }
    // Leaves the attributes alone, so an "id" attribute may differ from id().
    void setId(const QString &id) { m_id = id; }

    QString context() const { return m_context; }

    QVariantMap attributes() const { return m_attributes; }

    // Consulted by attribute() for keys the record itself lacks.
    void setFallbackAttributes(const QVariantMap &attributes) { m_fallbackAttributes = attributes; }

    // The attribute keys that hold a person's names; empty for records without names.
    virtual QStringList nameKeys() const;
    // Emits changed() before storing, and only when the value differs under QVariant equality.
    virtual void setAttribute(const QString &key, const QVariant &value);
    // An absent key (here and in the fallback) is added with an invalid value, silently.
    virtual QVariant attribute(const QString &key);
    virtual void setContext(const QString &text);

    // Merges the map key by key in ascending order; an "id" key also sets id().
    void setAttributes(const QVariantMap &map);

signals:
    void changed();
    void saved();

public slots:
    // Records never persist themselves; addresses are saved through the connector instead.
    virtual bool save();
    bool saveBinaryField(const QString &field, QByteArray *data);
    QByteArray *getBinaryField(const QString &field);
    bool deleteModel();

private:
    QString m_typeName;
    QString m_id;
    QString m_context;
    QVariantMap m_attributes;
    QVariantMap m_fallbackAttributes;
};
