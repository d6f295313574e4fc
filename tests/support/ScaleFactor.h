#pragma once

#include <QtTest>

// The ratio this test process draws at (QT_SCALE_FACTOR, 1 when unset). At 1, the test function
// `slot` runs first in a child process at 2; `failure` gets what it printed when it failed there.
inline double scaleFactor(const char *slot, QByteArray &failure)
{
    const double ratio = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
    if (ratio != 1)
        return ratio;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_SCALE_FACTOR", "2");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {slot});
    if (!child.waitForFinished(60'000) || child.exitCode() != 0)
        failure = "at QT_SCALE_FACTOR=2: " + child.readAll();
    return ratio;
}

// The device pixels from 3 above to 3 below `at`: '#' of `colour`, '?' of neither it nor white,
// the white ones left out. A crisp horizontal line reads "#" at a ratio of 1 and "##" at 2.
inline QString edgeAt(const QImage &image, QPoint at, QRgb colour)
{
    QString edge;
    for (int y = at.y() - 3; y <= at.y() + 3; ++y)
        edge += image.pixel(at.x(), y) == colour                ? '#'
                : image.pixel(at.x(), y) == qRgb(255, 255, 255) ? '.'
                                                                : '?';
    return edge.remove('.');
}
