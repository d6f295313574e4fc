#pragma once

#include "PrintService.h"

#include <QtPlugin>

#include <chrono>

// What the printing plugin gives the program: the report handed to the print service. The
// plugin holds Qt's print support and the print service's library, which the program loads on
// the first print instead of at start.
class ReportPrinting
{
public:
    virtual ~ReportPrinting() = default;
    virtual PrintService::Outcome printReport(const ReportDetails &details,
                                              const ReportValues &values,
                                              std::chrono::milliseconds limit) = 0;
};

#define ReportPrinting_iid "invalid.quillmarsh.voltrane-meter.ReportPrinting/1"
Q_DECLARE_INTERFACE(ReportPrinting, ReportPrinting_iid)
