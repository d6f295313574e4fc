#include "LineClip.h"

#include <algorithm>
#include <cmath>

namespace LineClip {

std::optional<QLineF> clip(const QLineF &line, const QRectF &rect)
{
    const QPointF start = line.p1();
    const QPointF end = line.p2();
    if (!std::isfinite(start.x()) || !std::isfinite(start.y()) || !std::isfinite(end.x()) ||
        !std::isfinite(end.y()))
        return std::nullopt;
    const QRectF limits = rect.normalized();

    // Liang-Barsky: the line is start + t × (end - start) for t in [0, 1]; each edge of the
    // rectangle narrows the range of t that lies on its inner side.
    const double dx = end.x() - start.x();
    const double dy = end.y() - start.y();
    double t0 = 0;
    double t1 = 1;
    // The inner side of one edge is where p × t <= q.
    const auto narrow = [&](double p, double q) {
        if (p == 0)
            return q >= 0; // parallel to the edge: wholly on one side of it
        const double t = q / p;
        if (p < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        return t0 <= t1;
    };
    if (!narrow(-dx, start.x() - limits.left()) || !narrow(dx, limits.right() - start.x()) ||
        !narrow(-dy, start.y() - limits.top()) || !narrow(dy, limits.bottom() - start.y()))
        return std::nullopt;

    const QPointF clippedStart = t0 > 0 ? start + t0 * QPointF(dx, dy) : start;
    const QPointF clippedEnd = t1 < 1 ? start + t1 * QPointF(dx, dy) : end;
    return QLineF(clippedStart, clippedEnd);
}

std::optional<QRectF> clipBox(QPointF a, QPointF b, const QRectF &rect)
{
    if (!std::isfinite(a.x() + a.y() + b.x() + b.y()))
        return std::nullopt;
    const double left = std::max(std::min(a.x(), b.x()), rect.left());
    const double right = std::min(std::max(a.x(), b.x()), rect.right());
    const double top = std::max(std::min(a.y(), b.y()), rect.top());
    const double bottom = std::min(std::max(a.y(), b.y()), rect.bottom());
    if (left > right || top > bottom)
        return std::nullopt;
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

} // namespace LineClip
