#pragma once

#include "MainWindow.h"
#include "MeterPort.h"
#include "MeterSession.h"
#include "MeterSimulator.h"
#include "PortNames.h"
#include "RecordStore.h"
#include "TestRecorder.h"
#include "WidgetLookup.h"

// The main window on a simulated meter, worked as an operator works it, with a short reply wait,
// and test records of its own. The simulator starts before the window is made, so that the port
// list finds its device.
struct ProgramFixture
{
    explicit ProgramFixture(MeterSimulatorOptions options = {})
        : sim(options), started(sim.start()),
          session(cm,
                  {.program = "voltrane-meter test", .replyWait = std::chrono::milliseconds(150)}),
          recorder(records.filePath("records.sqlite")), window(session, &recorder)
    {
        window.show();
    }
    // Types the meter's "COM n" entry into the port box and presses "Set Port"; whether it opened.
    bool setPort(const MeterSimulator &meter)
    {
        const std::optional<int> port = PortNames::portNumberForDevice(meter.devicePath());
        child<QComboBox>(window, "cmbPort")->lineEdit()->selectAll();
        QTest::keyClicks(child<QComboBox>(window, "cmbPort")->lineEdit(),
                         port ? PortNames::entryText(*port) : "");
        click(child(window, "cmdSetPort"));
        return port && cm.isOpen();
    }
    // Opens the simulator's port and fetches; whether a data set is shown afterwards.
    bool fetched()
    {
        if (!setPort(sim))
            return false;
        click(child(window, "cmdFetch"));
        return QTest::qWaitFor([&] { return child(window, "cmdPrint")->isEnabled(); }, 10'000);
    }
    // The test records made so far, newest first.
    QList<TestRecord> recorded()
    {
        const auto store = RecordStore::open(recorder.storePath());
        if (!store)
            return {};
        const auto found = (*store)->find({.withFetchFiles = true});
        return found ? *found : QList<TestRecord>();
    }
    MeterSimulator sim;
    bool started;
    MeterPort cm;
    MeterSession session;
    QTemporaryDir records;
    TestRecorder recorder;
    MainWindow window;
};
