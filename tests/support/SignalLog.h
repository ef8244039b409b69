#pragma once

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QPair>
#include <QSignalSpy>
#include <QStringList>

#include <memory>
#include <vector>


// Spies on every signal the object's own class declares.
class SignalLog
{
public:
    explicit SignalLog(QObject* object)
    {
        const QMetaObject* mo = object->metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
            const QMetaMethod method = mo->method(i);
            if (method.methodType() != QMetaMethod::Signal)
                continue;
            m_names.append(QString::fromLatin1(method.name()));
            m_spies.emplace_back(new QSignalSpy(object, method));
        }
    }

    // "name xN" for every signal emitted since the last clear(), in declaration order.
    QStringList fired() const
    {
        QStringList out;
        for (size_t i = 0; i < m_spies.size(); ++i)
            if (!m_spies[i]->isEmpty())
                out.append(QStringLiteral("%1 x%2").arg(m_names.at(int(i))).arg(m_spies[i]->size()));
        return out;
    }
    void clear()
    {
        for (auto& spy : m_spies)
            spy->clear();
    }

private:
    QStringList m_names;
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};
