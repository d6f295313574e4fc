#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <utility>
#include <variant>
#include <vector>

// JSON whose objects keep their members in the order given. QJsonDocument sorts members by name;
// files and outputs that people read are written in the order they are documented in.
//
// A value is a scalar (a number, text, true, false or null, written exactly as QJsonDocument
// writes it), an object of named members in order, or an array.
class OrderedJson
{
public:
    using Member = std::pair<QString, OrderedJson>;

    enum class Layout
    {
        Compact,  // no blanks at all: {"a":1,"b":[1,2]}
        Readable, // the outer object's members one a line, indented by four; an array that is
                  // such a member has its elements one a line, indented by eight; anything deeper
                  // on one line with a blank after each ',' and ':'
    };

    OrderedJson() = default; // null
    OrderedJson(const QJsonValue &scalar);
    OrderedJson(const QString &text) : m_value(text) {}
    OrderedJson(const char *text) : m_value(QString::fromUtf8(text)) {}
    OrderedJson(QLatin1String text) : m_value(QString(text)) {}
    OrderedJson(bool flag) : m_value(flag) {}
    OrderedJson(int number) : m_value(qint64(number)) {}
    OrderedJson(qint64 number) : m_value(number) {}
    OrderedJson(double number) : m_value(number) {}

    static OrderedJson object(std::vector<Member> members);
    static OrderedJson array(std::vector<OrderedJson> elements);

    // The value as JSON text, UTF-8, without a final line end.
    QByteArray toJson(Layout layout = Layout::Compact) const;

    // A scalar's JSON text, exactly as QJsonDocument writes it.
    static QByteArray scalarJson(const QJsonValue &scalar);

private:
    static void appendString(QByteArray &out, QStringView text);
    void write(QByteArray &out, Layout layout, int depth) const;

    // Scalars held as plain values: QJsonValue is slow to make by the thousand.
    std::variant<std::monostate, bool, qint64, double, QString, std::vector<Member>,
                 std::vector<OrderedJson>>
        m_value;
};
