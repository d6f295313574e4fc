#include "OrderedJson.h"

#include <QLocale>
#include <QVariant>

OrderedJson::OrderedJson(const QJsonValue &scalar)
{
    switch (scalar.type()) {
    case QJsonValue::Bool:
        m_value = scalar.toBool();
        break;
    case QJsonValue::Double:
        if (scalar.toVariant().typeId() == QMetaType::LongLong)
            m_value = scalar.toInteger();
        else
            m_value = scalar.toDouble();
        break;
    case QJsonValue::String:
        m_value = scalar.toString();
        break;
    default:
        break; // null; arrays and objects are made with array() and object()
    }
}

QByteArray OrderedJson::scalarJson(const QJsonValue &scalar)
{
    return OrderedJson(scalar).toJson();
}

void OrderedJson::appendString(QByteArray &out, QStringView text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    out += '"';
    // UTF-8 as it stands, but for '"', '\\' and control characters, escaped; a half surrogate
    // pair (no UTF-8) as \uXXXX.
    const auto escape = [&](char16_t c) {
        out += '\\';
        switch (c) {
        case u'"':
            out += '"';
            break;
        case u'\\':
            out += '\\';
            break;
        case u'\b':
            out += 'b';
            break;
        case u'\f':
            out += 'f';
            break;
        case u'\n':
            out += 'n';
            break;
        case u'\r':
            out += 'r';
            break;
        case u'\t':
            out += 't';
            break;
        default:
            out += 'u';
            for (const int shift : {12, 8, 4, 0})
                out += Hex[(c >> shift) & 0xF];
        }
    };
    qsizetype plain = 0; // the start of the run of characters written as they are
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                          QChar::isLowSurrogate(text[i + 1].unicode());
        if (pair) {
            ++i;
        } else if (c < 0x20 || c == u'"' || c == u'\\' || QChar::isSurrogate(c)) {
            out += text.mid(plain, i - plain).toUtf8();
            escape(c);
            plain = i + 1;
        }
    }
    out += text.mid(plain).toUtf8();
    out += '"';
}

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
    QByteArray out;
    write(out, layout, 0);
    return out;
}

void OrderedJson::write(QByteArray &out, Layout layout, int depth) const
{
    // Scalars as QJsonDocument writes them: numbers in their shortest form, one that is not
    // finite as null.
    if (std::holds_alternative<std::monostate>(m_value)) {
        out += "null";
        return;
    }
    if (const bool *flag = std::get_if<bool>(&m_value)) {
        out += *flag ? "true" : "false";
        return;
    }
    if (const qint64 *number = std::get_if<qint64>(&m_value)) {
        out += QByteArray::number(*number);
        return;
    }
    if (const double *number = std::get_if<double>(&m_value)) {
        out += qIsFinite(*number) ? QByteArray::number(*number, 'g', QLocale::FloatingPointShortest)
                                  : QByteArray("null");
        return;
    }
    if (const QString *text = std::get_if<QString>(&m_value)) {
        appendString(out, *text);
        return;
    }
    const bool readable = layout == Layout::Readable;
    const auto *members = std::get_if<std::vector<Member>>(&m_value);
    const auto *elements = std::get_if<std::vector<OrderedJson>>(&m_value);
    // The outer object and the arrays in it take a line per item.
    const bool lines = readable && depth < 2 && (depth == 0 || elements);
    const QByteArray indent = lines ? '\n' + QByteArray(4 * (depth + 1), ' ') : QByteArray();
    const QByteArray separator = lines ? ',' + indent : QByteArray(readable ? ", " : ",");
    const qsizetype count = members ? qsizetype(members->size()) : qsizetype(elements->size());
    out += members ? '{' : '[';
    if (count > 0)
        out += indent;
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0)
            out += separator;
        if (members) {
            appendString(out, (*members)[i].first);
            out += readable ? ": " : ":";
            (*members)[i].second.write(out, layout, depth + 1);
        } else {
            (*elements)[i].write(out, layout, depth + 1);
        }
    }
    if (count > 0 && lines)
        out += '\n' + QByteArray(4 * depth, ' ');
    out += members ? '}' : ']';
}
