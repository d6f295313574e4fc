#pragma once

#include <QLineF>
#include <QRectF>

#include <optional>

namespace LineClip {

// The part of `line` that lies inside `rect` (edges included), on the same straight line, or
// nothing when no part of it does or a coordinate is not finite. Ends that lie inside stay
// exactly as they were.
std::optional<QLineF> clip(const QLineF &line, const QRectF &rect);

} // namespace LineClip
