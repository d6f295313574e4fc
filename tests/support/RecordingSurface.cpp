#include "RecordingSurface.h"

QString RecordingSurface::number(double value)
{
    // 'g' with enough digits never switches to an exponent for the coordinates drawing code uses.
    return QString::number(value, 'g', 12);
}

QString RecordingSurface::colour(const QColor &colour)
{
    return colour.name(colour.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb);
}

QStringList RecordingSurface::entries(QStringView kind) const
{
    const QString prefix = kind.toString() + QLatin1Char(' ');
    QStringList found;
    for (const QString &entry : m_log) {
        if (entry == kind || entry.startsWith(prefix))
            found.append(entry);
    }
    return found;
}

void RecordingSurface::forget()
{
    m_log.clear();
    m_texts.clear();
}

void RecordingSurface::setLogicalSize(double width, double height)
{
    m_log.append(QStringLiteral("size ") + number(width) + u' ' + number(height));
}

void RecordingSurface::setTextColour(const QColor &textColour)
{
    m_colour = textColour;
    m_log.append(QStringLiteral("colour ") + colour(textColour));
}

void RecordingSurface::setFontSize(double points)
{
    m_fontSize = points;
    m_log.append(QStringLiteral("font ") + number(points));
}

void RecordingSurface::setBold(bool bold)
{
    m_bold = bold;
    m_log.append(bold ? QStringLiteral("bold 1") : QStringLiteral("bold 0"));
}

void RecordingSurface::setCurrentX(double x)
{
    m_current.setX(x);
    m_log.append(QStringLiteral("x ") + number(x));
}

void RecordingSurface::setCurrentY(double y)
{
    m_current.setY(y);
    m_log.append(QStringLiteral("y ") + number(y));
}

void RecordingSurface::printText(const QString &text)
{
    m_texts.append({text, m_current, m_colour, m_fontSize, m_bold});
    m_log.append(QStringLiteral("text ") + text);
}

void RecordingSurface::drawLine(QPointF from, QPointF to, const QColor &lineColour)
{
    m_log.append(QStringList{QStringLiteral("line"), number(from.x()), number(from.y()),
                             number(to.x()), number(to.y()), colour(lineColour)}
                     .join(u' '));
}

void RecordingSurface::drawBox(QPointF corner, QPointF oppositeCorner, const QColor &boxColour,
                               Fill fill)
{
    m_log.append(
        QStringList{QStringLiteral("box"), number(corner.x()), number(corner.y()),
                    number(oppositeCorner.x()), number(oppositeCorner.y()), colour(boxColour),
                    fill == Fill::Filled ? QStringLiteral("filled") : QStringLiteral("outline")}
            .join(u' '));
}

void RecordingSurface::clear()
{
    m_current = QPointF();
    m_log.append(QStringLiteral("clear"));
}
