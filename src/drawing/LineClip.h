#pragma once

#include <QLineF>
#include <QRectF>

#include <optional>

namespace LineClip {

// The part of `line` that lies inside `rect` (edges included), on the same straight line, or
// nothing when no part of it does or a coordinate is not finite. Ends that lie inside stay
// exactly as they were.
std::optional<QLineF> clip(const QLineF &line, const QRectF &rect);

// The part of the box with corners `a` and `b` (in either order) that lies inside `rect` (edges
// included), or nothing when none does or a coordinate is not finite. Unlike
// QRectF::intersected(), a box of no width or height stays: it still draws as a line.
std::optional<QRectF> clipBox(QPointF a, QPointF b, const QRectF &rect);

} // namespace LineClip
