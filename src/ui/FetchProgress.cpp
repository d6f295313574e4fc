#include "FetchProgress.h"

#include "FixedLayout.h"
#include "ScreenReader.h"

#include <QLabel>
#include <QScreen>

FetchProgress::FetchProgress(QWidget *parent)
    : QFrame(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmFetch"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(Twips::size(5550, 885));
    FixedLayout::useFace(this);

    auto *label = new QLabel(tr("Fetching Data ..."), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setGeometry(Twips::rect(840, 240, 3855, 615));
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    label->setFont(FixedLayout::boldSansSerif(18));
    // The strip has no title bar to name it.
    ScreenReader::describe({{this, tr("Fetching Data"),
                             tr("The meter is being read; this takes about six seconds.")}});
}

void FetchProgress::showCentred()
{
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}
