#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

// What a screen reader sees of the program: the accessibility tree the toolkit publishes on the
// session's accessibility bus, read as the role, name and description of each object that is
// showing.
// The test reads the screens the way assistive technology does, so a renamed widget or a moved
// pixel does not break it, and a text the user cannot see does not pass it.
class AccessibleTree
{
public:
    struct Node
    {
        uint role = 0;
        QString name;
        QString description;
    };
    static constexpr uint kPushButton = 43; // the accessibility bus's role number

    // `sessionBus`: the address of the session bus, which names the accessibility bus (and
    // starts it on first demand).
    explicit AccessibleTree(const QString &sessionBus)
        : m_bus(connectToAccessibilityBus(sessionBus))
    {}
    ~AccessibleTree()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("journey-a11y"));
        QDBusConnection::disconnectFromBus(QStringLiteral("journey-session"));
    }

    // Every showing object of every application on the bus, depth first.
    QList<Node> showing() const
    {
        QList<Node> nodes;
        const auto apps = children(QStringLiteral("org.a11y.atspi.Registry"),
                                   QStringLiteral("/org/a11y/atspi/accessible/root"));
        for (const auto &[service, path] : apps)
            walk(service, path, 0, nodes);
        return nodes;
    }
    bool shows(const QString &name) const
    {
        return std::ranges::any_of(showing(), [&](const Node &n) { return n.name == name; });
    }

private:
    static QDBusConnection connectToAccessibilityBus(const QString &sessionBus)
    {
        QDBusConnection session =
            QDBusConnection::connectToBus(sessionBus, QStringLiteral("journey-session"));
        const QDBusMessage reply =
            session.call(QDBusMessage::createMethodCall(
                             QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                             QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
                         QDBus::Block, 10'000);
        const QString address = reply.arguments().value(0).toString();
        return QDBusConnection::connectToBus(address, QStringLiteral("journey-a11y"));
    }

    using Ref = std::pair<QString, QString>; // bus name, object path

    QDBusMessage call(const QString &service, const QString &path, const QString &interface,
                      const QString &method, const QVariantList &arguments = {}) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, 3000);
    }
    QList<Ref> children(const QString &service, const QString &path) const
    {
        QList<Ref> refs;
        const QDBusMessage reply = call(service, path, QStringLiteral("org.a11y.atspi.Accessible"),
                                        QStringLiteral("GetChildren"));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return refs;
        const QDBusArgument array = reply.arguments().constFirst().value<QDBusArgument>();
        array.beginArray();
        while (!array.atEnd()) {
            QString name;
            QDBusObjectPath object;
            array.beginStructure();
            array >> name >> object;
            array.endStructure();
            refs.append({name, object.path()});
        }
        array.endArray();
        return refs;
    }
    void walk(const QString &service, const QString &path, int depth, QList<Node> &nodes) const
    {
        if (depth > 40 || nodes.size() > 5000)
            return;
        const QDBusMessage state = call(service, path, QStringLiteral("org.a11y.atspi.Accessible"),
                                        QStringLiteral("GetState"));
        if (state.type() != QDBusMessage::ReplyMessage || state.arguments().isEmpty())
            return;
        QList<uint> bits;
        state.arguments().constFirst().value<QDBusArgument>() >> bits;
        const bool isShowing = !bits.isEmpty() && (bits.constFirst() & (1u << 25)) != 0;
        // The application object itself is never "showing"; its windows and widgets are.
        if (depth > 0 && !isShowing)
            return;
        Node node;
        const QDBusMessage role = call(service, path, QStringLiteral("org.a11y.atspi.Accessible"),
                                       QStringLiteral("GetRole"));
        node.role = role.arguments().value(0).toUInt();
        const auto property = [&](const char *name) {
            return call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                        QStringLiteral("Get"),
                        {QStringLiteral("org.a11y.atspi.Accessible"), QString::fromLatin1(name)})
                .arguments().value(0).value<QDBusVariant>().variant().toString();
        };
        node.name = property("Name");
        node.description = property("Description");
        nodes.append(node);
        for (const auto &[childService, childPath] : children(service, path))
            walk(childService, childPath, depth + 1, nodes);
    }

    QDBusConnection m_bus;
};
