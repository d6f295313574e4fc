#pragma once

#include <QString>
#include <QStringList>

// How a fetch ended, as one value. It says what happened; each view adds its own advice on what to
// do next (the window can say "press Set Port", the command line cannot).
struct FetchOutcome
{
    enum class Kind
    {
        Complete,        // all six replies came and every data set is a valid one
        SomeUnreadable,  // all six replies were taken, but not every data set is a valid one
        NothingReceived, // not one byte came for any of the six commands
        CutByPort,       // the line failed during the fetch (or was not open): the port is closed
        MeterTooLate,    // a reply came too late to be told apart from the next one
        Interrupted,     // stopped by the operator or a signal
    };

    Kind kind = Kind::Complete;
    // What happened, in words for the operator: the port's or the meter's trouble, "The meter on
    // COM 33 (/dev/ttyUSB0) did not answer. …", "Not every data set could be read:"; empty when
    // complete.
    QString message;
    // SomeUnreadable: why each data set that is not valid is not, one a line ("Data set 2: no
    // answer").
    QStringList unreadable{};
    // Whether the fetch is kept: a whole one always, one cut short only when a data set had come.
    bool kept = false;

    // All six replies were taken (whatever they held).
    bool whole() const
    {
        return kind == Kind::Complete || kind == Kind::SomeUnreadable ||
               kind == Kind::NothingReceived;
    }
};
