#pragma once

#include "ReportPage.h"
#include "ReportValues.h"
#include "Result.h"

#include <QString>

struct TestRecord;

// The report page of a test record, made again: the details as they were printed (the energizer's
// model and serial number and the date text; the page has no customer line) and the values and
// chart of the record's data set, read from the record's own fetch file, so that printing it or
// saving it as a PDF gives the page that was issued.
struct RecordPage
{
    ReportDetails details;
    ReportValues values;

    // The page of `record`, which must hold its fetch file; why not when the fetch file cannot be
    // read or its data set is not a valid one ("The page of test record “…” cannot be made: Data
    // set 2: no answer.").
    static Result<RecordPage> of(const TestRecord &record);

    // The name its PDF file is offered under: as the print dialog offers it, with the date the
    // record was made.
    QString fileName() const { return m_fileName; }

private:
    QString m_fileName;
};
