#include "SurfaceState.h"

#include <cmath>

void SurfaceState::setLogicalSize(double width, double height)
{
    // Written so that NaN fails too.
    if (!(width > 0 && height > 0) || !std::isfinite(width) || !std::isfinite(height))
        return;
    m_logicalSize = QSizeF(width, height);
}

void SurfaceState::setTextColour(const QColor &colour)
{
    m_textColour = colour;
}

void SurfaceState::setFontSize(double points)
{
    if (points > 0 && std::isfinite(points))
        m_font.setPointSizeF(points);
}

void SurfaceState::setBold(bool bold)
{
    m_font.setBold(bold);
}

void SurfaceState::setCurrentX(double x)
{
    m_current.setX(x);
}

void SurfaceState::setCurrentY(double y)
{
    m_current.setY(y);
}
