#pragma once

#include "ReportPrinting.h"

#include <QObject>

// The printing plugin's one object: the report through the CUPS scheduler, or through Qt's
// printer where there is no CUPS.
class PrintingPlugin : public QObject, public ReportPrinting
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ReportPrinting_iid)
    Q_INTERFACES(ReportPrinting)

public:
    PrintService::Outcome printReport(const ReportDetails &details, const ReportValues &values,
                                      std::chrono::milliseconds limit) override;
};
