#pragma once

#include "Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// One report issued for one energizer, kept so that it can be found again. Whole on its own: it
// holds the fetch it was made from, every reply as received. A record never changes once made; a
// correction is a new record with a new id.
struct TestRecord
{
    QString id;           // a UUID in PostgreSQL's form: "0f8fad5b-d9cb-469f-a165-70867728950e"
    QByteArray fetchFile; // the bytes of the fetch's .vmfetch file
    int dataSet = 1;      // 1..4
    QString energizerModel;
    QString energizerSerial;
    QString customer;   // the customer or site; may be empty
    QString dateText;   // the date as printed on the report
    QDateTime recorded; // when it was recorded: the local time there, with its UTC offset
    QString technician; // who recorded it: the computer's user name
    QString meterModel; // the meter's texts, as shown
    QString meterSerial;
    int voltCount = 0;    // the meter's counts: tenths of a kV,
    int energyCount = 0;  // tenths of a J,
    int intervalMs = 0;   // ms between pulses,
    int pulseWidthUs = 0; // µs,
    int loadOhms = 0;     // Ohms (0: no load)
    QString check;        // the limit check's verdicts as JSON text; empty when none
    bool pending = true;  // not yet sent to the team server

    // A new record: a new id, recorded now (local time with its offset) by this computer's user.
    static TestRecord stamped();
    // A new record of data set `dataSet` (1..4) of a fetch file, with its meter's texts and the
    // data set's counts; the energizer's texts, customer and date are for the caller to fill in.
    // Fails when the bytes are not a fetch file or the data set is not a valid record ("Data set
    // 2: the meter sent 221 bytes instead of 222.").
    static Result<TestRecord> ofFetch(const QByteArray &fetchFile, int dataSet);

    // The meter's text of its reply to "?M" or "?S" as the window shows it, without the blanks
    // and line end around it; empty when it never answered.
    static QString meterText(const std::optional<QByteArray> &reply);
    // The user name: $USER, else the account's name, else "unknown".
    static QString userName();
    // A text as searches compare it: without the blanks around it, composed, case-folded.
    static QString folded(const QString &text);

    friend bool operator==(const TestRecord &, const TestRecord &) = default;
};
