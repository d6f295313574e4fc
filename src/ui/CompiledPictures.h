#pragma once
// The pictures the main window paints at its first showing, compiled in as pixels (made at build
// time by tools/embed-images): reading a PNG, Qt first lists its image-format plugins, opening
// every plugin's file, which a window's first paint does not need.
#include <QImage>

struct CompiledPicture
{
    int width;
    int height;
    QImage::Format format; // Format_ARGB32, or Format_RGB32 for a picture without transparency
    const quint32 *pixels; // row after row

    // The picture, sharing the compiled pixels (read only).
    QImage image() const
    {
        return QImage(reinterpret_cast<const uchar *>(pixels), width, height,
                      width * qsizetype(sizeof(quint32)), format);
    }
};

namespace CompiledPictures {
extern const CompiledPicture logo;   // resources/logo.png
extern const CompiledPicture logo2x; // resources/logo@2x.png
// The frame Qt's Fusion style draws group boxes with, from Qt's own resources.
extern const CompiledPicture groupBoxFrame;
} // namespace CompiledPictures
