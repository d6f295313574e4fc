#include "ChartView.h"
#include "FileSave.h"
#include "Golden.h"
#include "MainWindow.h"
#include "MeterPort.h"
#include "MeterSession.h"
#include "RecordStore.h"
#include "ScaleFactor.h"
#include "SimulatedDataSets.h"
#include "SyntheticPulses.h"
#include "WaveformWindow.h"
#include "WidgetLookup.h"

namespace {
// A fetch file of these records (data sets 1, 2, …), by default the simulated meter's four.
QByteArray fetchOf(QList<QByteArray> records = {})
{
    FetchRecord fetch{"?MVM-2000\r", "?SSN-104233\r", {}, true, "COM 1", {{2026, 12, 7}, {10, 31}}};
    for (int k = 0; k < DataSets::Count; ++k)
        fetch.records[k] = records.isEmpty() ? SimulatedDataSets::record(k + 1) : records.value(k);
    return FetchFile::toJson(fetch, DataSets::of(fetch.recordViews()), "voltrane-meter test");
}
const Measurement Good = measurement(pulse(10, 4, 128, 2), 128, 500); // 0.1 kV a code
// The main window on a session without a meter, and its Waveform window once opened.
struct Program
{
    MeterPort port;
    MeterSession session{port, {.program = "voltrane-meter test", .keepHistory = false}};
    MainWindow main{session};
    Program() { main.show(); }
    WaveformWindow *opened(const QByteArray &fetch, const QString &name, int index = 0)
    {
        if (!session.openFetchFile(fetch, name, index))
            return nullptr;
        child<QAction>(main, "actExamine")->trigger();
        auto *w = main.findChild<WaveformWindow *>("frmWaveform");
        return w && QTest::qWaitForWindowExposed(w) ? w : nullptr;
    }
};
// Where sample i (1..200) is drawn, in the window; the mouse there as the window system moves it.
QPoint at(WaveformWindow *w, int i)
{
    auto *view = child<ChartView>(*w, "chart");
    view->repaint();
    return view->mapTo(w, view->chart().toLogical(view->chart().series[0].points[i - 1]).toPoint());
}
} // namespace

class TestWaveform : public QObject
{
    Q_OBJECT
    QTemporaryDir home;
    static QString text(QWidget *w, const char *name) { return child<QLabel>(*w, name)->text(); }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        QVERIFY(QDir().mkpath(LimitProfiles::folder()) &&
                FileSave::write(LimitProfiles::folder() + "/broken.json", R"({"name": "Broken"})"));
        QVERIFY(FileSave::write(LimitProfiles::folder() + "/dairy.json",
                                R"({"name": "Dairy farm", "energyMaxJ": 1.2, "intervalMinMs": 1200,
            "pulseWidthMaxUs": 8000, "loadMinOhms": 100, "loadMaxOhms": 500})"));
    }
    void init() { QFile::remove(Settings::defaultPath()); }

    void testOpenedBothWaysOnceADataSetIsShown()
    {
        Program p;
        QTest::mouseDClick(child(p.main, "pic"), Qt::LeftButton);
        QVERIFY(!child<QAction>(p.main, "actExamine")->isEnabled());
        QVERIFY(!p.main.findChild<WaveformWindow *>());
        WaveformWindow *w =
            p.opened(fetchOf({SimulatedDataSets::record(1), SimulatedDataSets::record(2)}),
                     "2026-12-07_103105_SN-104233.vmfetch", 1);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), "Waveform – Data set 2 – meter VM-2000 SN-104233 – "
                                   "2026-12-07_103105_SN-104233.vmfetch");
        w->close();
        QTest::mouseDClick(child(p.main, "pic"), Qt::LeftButton);
        QTRY_VERIFY(w->isVisible());
        QCOMPARE(p.main.findChildren<WaveformWindow *>().size(), 1);
        p.session.show(3); // it follows the session
        QCOMPARE(w->windowTitle(), "Waveform – No data set to show: Data set 4: no answer");
        QCOMPARE(text(w, "lblMeasures"), "No data set to show.");
    }

    void testMeasuresOfGoodAndBadRecords()
    {
        // The measures and the check of each (reviewed copy): every verdict under the caveat.
        Program p;
        QStringList lines;
        for (const auto &[name, m] :
             {std::pair("good", Good),
              {"flat", measurement(QList<int>(200), 73, 500)},
              {"all below", measurement(QList<int>(200, -10), 73, 500)},
              {"spike", measurement(with(QList<int>(200), 100, 120), 120, 500)},
              {"peak at sample 1", measurement(pulse(0, 1, 128, 2), 128, 500)},
              {"peak at sample 200", measurement(pulse(196, 4, 128, 2), 128, 500)},
              {"no load", measurement(pulse(10, 4, 128, 2), 128, 0)}}) {
            WaveformWindow *w = p.opened(fetchOf({recordOf(m)}), name);
            QVERIFY(w);
            const QStringList check = text(w, "lblCheck").split('\n');
            QCOMPARE(check.first(), "Indicative check, not a type test");
            lines << "-- " + w->windowTitle() << text(w, "lblMeasures").split('\n') << check[2];
        }
        QCOMPARE_GOLDEN("waveform-measures.txt", lines);
    }

    void testReferenceFromADataSetAFileAndARecord()
    {
        Program p;
        const QByteArray simulated = fetchOf(), good = fetchOf({recordOf(Good)});
        Result<std::unique_ptr<RecordStore>> store = RecordStore::open(RecordStore::defaultPath());
        QVERIFY(store);
        for (const auto &[bytes, energizer, date] :
             {std::tuple(simulated, "7788", QDate(2026, 12, 7)),
              {good, "7788", QDate(2025, 3, 14)},
              {good, "9911", QDate(2025, 3, 15)}}) {
            Result<TestRecord> r = TestRecord::ofFetch(bytes, 1);
            r->energizerModel = "EF-200", r->energizerSerial = energizer, r->customer = "Farm A";
            r->recorded = QDateTime(date, {9, 0});
            QVERIFY((*store)->add(*r));
        }
        QVERIFY(FileSave::write(home.filePath("good.vmfetch"), good));
        WaveformWindow *w = p.opened(simulated, "Test of 7788");
        QVERIFY(w);
        QStringList lines;
        const auto compared = [&] {
            const std::vector<Chart::Series> &series =
                child<ChartView>(*w, "chart")->chart().series;
            lines << QString("-- %1 series, the last %2").arg(series.size()).arg(series.back().name)
                  << text(w, "lblReference").split('\n');
        };
        child<QAction>(*w, "actCompareDataSet", 2)->trigger();
        compared();
        QSignalSpy changed(w, &WaveformWindow::referenceChanged);
        w->compareWithFile(home.filePath("good.vmfetch"));
        QVERIFY(changed.wait());
        compared();
        child<QAction>(*w, "actCompareRecord")->trigger();
        auto *chooser = shown<QDialog>(*w, "frmChooseRecord");
        QTRY_COMPARE(text(chooser, "lblFound"), "The other test records of energizer “7788”: 1.");
        QCOMPARE(child<QLineEdit>(*chooser, "txtSearch")->text(), "7788");
        click(child(*chooser, "cmdCompare"));
        compared();
        click(child(*w, "cmdRemoveReference"));
        compared();
        QCOMPARE_GOLDEN("waveform-references.txt", lines);
    }

    void testProfileChoiceIsRememberedAndABadFileNamed()
    {
        Program p;
        WaveformWindow *w = p.opened(fetchOf(), "kept.vmfetch");
        QVERIFY(w);
        QVERIFY(text(w, "lblProfileProblems")
                    .startsWith("The limit profile “" + LimitProfiles::folder() +
                                "/broken.json” is left out"));
        auto *profiles = child<QComboBox>(*w, "cmbProfile");
        QCOMPARE(profiles->currentText(), "Energizer safety limits (indicative)");
        profiles->setCurrentIndex(profiles->findText("Dairy farm"));
        // The simulated meter's counts against 1.2 J, 1200 ms, 8000 µs, 100 to 500 Ohms.
        QCOMPARE_GOLDEN("waveform-check.txt", text(w, "lblCheck").split('\n'));
        QCOMPARE(Settings().text(Settings::CheckProfile), "Dairy farm");
        WaveformWindow again(p.session);
        QCOMPARE(child<QComboBox>(again, "cmbProfile")->currentText(), "Dairy farm");
    }

    void testReadoutCursorsAndPictureAtScale1And2()
    {
        // Read as the technician reads it, and seen, at a device pixel ratio of 1, and of 2 in a
        // child process: the plot frame's top edge is one device pixel of its colour per ratio.
        QByteArray failed;
        const double ratio = scaleFactor("testReadoutCursorsAndPictureAtScale1And2", failed);
        QVERIFY2(failed.isEmpty(), failed.constData());
        Program p; // both pulses 0.1 kV a code: the second's samples 21 to 23 are 27, 54, 81
        const Measurement second = measurement(pulse(20, 3, 81, 3), 81, 100);
        WaveformWindow *w = p.opened(fetchOf({recordOf(Good), recordOf(second)}), "two.vmfetch");
        QVERIFY(w);
        w->compareWithDataSet(1);
        auto *chart = child<ChartView>(*w, "chart");
        QTest::mouseMove(w->windowHandle(), at(w, 13));
        QCOMPARE(chart->readoutText(), "Sample 13: 26 µs, 9.60 kV; reference 0.00 kV");
        QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, at(w, 12));
        QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, at(w, 16));
        QCOMPARE(chart->cursorText(),
                 "C1: 24 µs, 6.40 kV   C2: 32 µs, 3.20 kV   Δt = 8 µs   ΔV = -3.20 kV");
        QTest::mouseMove(w->windowHandle(), at(w, 22));
        QCOMPARE(chart->readoutText(), "Sample 22: 44 µs, 0.00 kV; reference 5.40 kV");
        const QPixmap shot = w->grab();
        QCOMPARE(shot.devicePixelRatio(), ratio);
        const QImage image = shot.toImage().convertToFormat(QImage::Format_RGB32);
        if (const QString keep = qEnvironmentVariable("VOLTRANE_WAVEFORM_PNG"); !keep.isEmpty())
            image.save(keep + (ratio == 1 ? "/waveform-window.png" : "/waveform-window@2x.png"));
        const QPoint top = chart->mapTo(w, chart->chart().layout().plot.topLeft().toPoint());
        QCOMPARE(edgeAt(image, (top + QPoint(30, 0)) * ratio, chart->chart().colours.frame.rgb()),
                 ratio == 1 ? "#" : "##");
    }
};

QTEST_MAIN(TestWaveform)
#include "tst_waveform.moc"
