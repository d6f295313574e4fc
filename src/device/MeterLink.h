#pragma once

#include "FetchSequence.h"
#include "MeterPort.h"

#include <QObject>

// The program's line to the meter: the port `cm` and the fetch sequence that runs on it, wired
// so that a failing port stops a running fetch. Between fetches the sequence reads and drops what
// the port receives, so cm->takeAll() finds bytes only right after the port is opened. The window
// is handed one; a test makes its own with a shorter reply wait.
class MeterLink : public QObject
{
public:
    explicit MeterLink(std::chrono::milliseconds replyWait = FetchSequence::ReplyWait,
                       QObject *parent = nullptr)
        : QObject(parent), cm(new MeterPort(this)),
          fetch(new FetchSequence(cm->device(), replyWait, this))
    {
        connect(cm, &MeterPort::failed, fetch, &FetchSequence::portFailed);
    }

    MeterPort *const cm;
    FetchSequence *const fetch;
};
