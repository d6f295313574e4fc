#pragma once

#include "MeterPort.h"
#include "MeterSimulator.h"

#include <QString>

// Starts the simulated meter and opens `port` on its line, as the device tests need before
// anything else; a failure ends the test run at once with the reason.
inline void connectToSimulator(MeterSimulator &sim, MeterPort &port)
{
    QString error;
    if (!sim.start(&error))
        qFatal("cannot start the meter simulator: %s", qPrintable(error));
    if (!port.openDevice(sim.devicePath()))
        qFatal("cannot open %s: %s", qPrintable(sim.devicePath()), qPrintable(port.errorString()));
}
