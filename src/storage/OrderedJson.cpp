#include "OrderedJson.h"

#include <QJsonArray>
#include <QJsonDocument>

OrderedJson::OrderedJson(const QJsonValue &scalar) : m_value(scalar) {}

OrderedJson OrderedJson::object(std::vector<Member> members)
{
    OrderedJson json;
    json.m_value = std::move(members);
    return json;
}

OrderedJson OrderedJson::array(std::vector<OrderedJson> elements)
{
    OrderedJson json;
    json.m_value = std::move(elements);
    return json;
}

QByteArray OrderedJson::toJson(Layout layout) const
{
    return write(layout, 0);
}

QByteArray OrderedJson::write(Layout layout, int depth) const
{
    const bool readable = layout == Layout::Readable;
    // The outer object and the arrays in it take a line per item.
    const bool lines = readable && depth < 2 &&
                       (depth == 0 || std::holds_alternative<std::vector<OrderedJson>>(m_value));
    const QByteArray indent = lines ? '\n' + QByteArray(4 * (depth + 1), ' ') : QByteArray();
    const QByteArray separator = lines ? ',' + indent : QByteArray(readable ? ", " : ",");
    const QByteArray close = lines ? '\n' + QByteArray(4 * depth, ' ') : QByteArray();
    QByteArray text;
    if (const auto *scalar = std::get_if<QJsonValue>(&m_value)) {
        // QJsonDocument writes only arrays and objects: the scalar's text is the array's inside.
        const QByteArray array = QJsonDocument(QJsonArray{*scalar}).toJson(QJsonDocument::Compact);
        return array.mid(1, array.size() - 2);
    } else if (const auto *members = std::get_if<std::vector<Member>>(&m_value)) {
        for (const auto &[name, value] : *members)
            text += (text.isEmpty() ? QByteArray() : separator) +
                    OrderedJson(name).write(layout, 0) + (readable ? ": " : ":") +
                    value.write(layout, depth + 1);
        return text.isEmpty() ? "{}" : '{' + indent + text + close + '}';
    } else {
        for (const OrderedJson &element : std::get<std::vector<OrderedJson>>(m_value))
            text += (text.isEmpty() ? QByteArray() : separator) + element.write(layout, depth + 1);
        return text.isEmpty() ? "[]" : '[' + indent + text + close + ']';
    }
}
