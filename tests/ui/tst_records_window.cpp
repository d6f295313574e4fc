#include "ChartView.h"
#include "FileSave.h"
#include "Golden.h"
#include "MainWindow.h"
#include "MeterPort.h"
#include "MeterSession.h"
#include "PdfText.h"
#include "RecordTableModel.h"
#include "RecordsWindow.h"
#include "ReportPrinter.h"
#include "SimulatedDataSets.h"
#include "TrendChart.h"
#include "WidgetLookup.h"

#include <QTimeZone>

namespace {
QDateTime day(int d, int hour = 10)
{
    return QDateTime(QDate(2026, 12, d), QTime(hour, 0), QTimeZone(3600));
}
// A fetch of the simulated meter's four data sets, kept at `saved`.
QByteArray fetchFile(const QDateTime &saved)
{
    FetchRecord f{"?MVM-2000\r", "?SSN-1\r", {}, true, u"COM 33"_qs, saved};
    for (int n = 1; n <= 4; ++n)
        f.records[n - 1] = SimulatedDataSets::record(n);
    return FetchFile::toJson(f, DataSets::of(f.recordViews()), u"voltrane-meter test"_qs);
}
TestRecord made(const QString &model, const QString &serial, const QString &customer, int d,
                int dataSet)
{
    TestRecord r = *TestRecord::ofFetch(fetchFile(day(d)), dataSet);
    r.energizerModel = model, r.energizerSerial = serial, r.customer = customer;
    r.recorded = day(d), r.dateText = u"0%1/12/26"_qs.arg(d);
    return r;
}
void answer(QWidget &window, const char *dialog, const QString &fileName)
{
    emit shown<QFileDialog>(window, dialog)->fileSelected(fileName), // as its Save button does
        window.findChild<QFileDialog *>()->reject();
}
void type(QWidget &window, const QString &text) // one character at a time, as typed
{
    for (const QChar c : text)
        child<QLineEdit>(window, "txtSearch")->insert(c);
}
QByteArray bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}
} // namespace

// The records window on a real store: records A to D and kept fetch F with no test yet.
struct Fixture
{
    QTemporaryDir dir;
    QString store = dir.filePath(u"records.sqlite"_qs), history = dir.filePath(u"fetches"_qs);
    MeterPort cm;
    MeterSession session{cm, {.program = u"voltrane-meter test"_qs, .keepHistory = false}};
    MainWindow main{session};
    RecordsWindow *w = nullptr;
    QTableView *table = nullptr;
    explicit Fixture(bool fill = true)
    {
        QDir().mkpath(history);
        QVERIFY(FileSave::write(history + u"/F.vmfetch"_qs, fetchFile(day(2, 12))));
        if (fill) {
            auto s = RecordStore::open(store);
            QVERIFY((*s)->add({made(u"M 450"_qs, u"SN-Ü1"_qs, u"Müller Hof"_qs, 1, 1),
                               made(u"Über 9"_qs, u"sn-2"_qs, {}, 2, 2),
                               made(u"m 100"_qs, u"SN-3/B"_qs, u"=Hof"_qs, 3, 3),
                               made(u"Z"_qs, u" sn-ü1 "_qs, u"müller hof"_qs, 4, 4)}));
            QVERIFY((*s)->listKeptFetches(history));
        }
    }
    void open()
    {
        w = new RecordsWindow(session, {store, history}, &main);
        w->show();
        table = child<QTableView>(*w, "tblRecords");
    }
    QString column(int c) const // the column's texts, row by row
    {
        QStringList texts;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            texts << table->model()->index(row, c).data().toString();
        return texts.join(u'|');
    }
    void select(const QString &model) // the first row of that energizer model
    {
        table->setCurrentIndex(
            table->model()
                ->match(table->model()->index(0, 1), Qt::DisplayRole, model, 1, Qt::MatchExactly)
                .value(0));
    }
};

class TestRecordsWindow : public QObject
{
    Q_OBJECT

private slots:
    void testRowsFoundAndSorted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("until");
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<QString>("models");
        const QDate any, d2(2026, 12, 2), d3(2026, 12, 3);
        QTest::newRow("all, newest first")
            << "" << any << any << -1 << "Z|m 100|no test yet|Über 9|M 450";
        QTest::newRow("non-ASCII, any case") << "ü1" << any << any << -1 << "Z|M 450";
        QTest::newRow("customer") << "MÜLLER" << any << any << -1 << "Z|M 450";
        QTest::newRow("model") << "über" << any << any << -1 << "Über 9";
        QTest::newRow("serial with slash") << "3/b" << any << any << -1 << "m 100";
        QTest::newRow("dates") << "" << d2 << d3 << -1 << "m 100|no test yet|Über 9";
        QTest::newRow("until") << "" << any << d2 << -1 << "no test yet|Über 9|M 450";
        QTest::newRow("by voltage") << "" << any << any << int(RecordTableModel::Voltage)
                                    << "no test yet|Z|Über 9|M 450|m 100";
    }
    void testRowsFoundAndSorted()
    {
        QFETCH(QString, text);
        QFETCH(QDate, from);
        QFETCH(QDate, until);
        QFETCH(int, sortColumn);
        Fixture f;
        f.open();
        type(*f.w, text);
        if (from.isValid())
            child<QDateEdit>(*f.w, "dtFrom")->setDate(from);
        if (until.isValid())
            child<QDateEdit>(*f.w, "dtUntil")->setDate(until);
        if (sortColumn >= 0)
            QTest::mouseClick(f.table->horizontalHeader()->viewport(), Qt::LeftButton, {},
                              QPoint(f.table->columnViewportPosition(sortColumn) + 5, 5));
        QFETCH(QString, models);
        QCOMPARE(f.column(RecordTableModel::EnergizerModel), models);
    }

    void testCtrlROpensTheWindowFromTheMainWindow()
    {
        Fixture f(false);
        f.main.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.main));
        QTest::keyClick(&f.main, Qt::Key_R, Qt::ControlModifier);
        QVERIFY(shown<RecordsWindow>(f.main, "frmRecords"));
    }

    void testDoubleClickOpensTheFetchInTheMainWindow_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("caption");
        QTest::newRow("a test") << "m 100" << 2 << "SN-3∕B, 2026-12-03 10:00";
        QTest::newRow("no test yet") << "no test yet" << 0 << "F.vmfetch";
    }
    void testDoubleClickOpensTheFetchInTheMainWindow()
    {
        QFETCH(QString, model);
        Fixture f;
        f.open();
        f.select(model);
        const QRect cell = f.table->visualRect(f.table->currentIndex());
        QTest::mouseClick(f.table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(f.table->viewport(), Qt::LeftButton, {}, cell.center());
        QFETCH(int, shown);
        QCOMPARE(f.session.shown() ? f.session.shown()->index : -1, shown);
        QVERIFY(child<QRadioButton>(f.main, "optData", shown)->isChecked());
        QFETCH(QString, caption);
        QCOMPARE(f.main.windowTitle(), "Voltrane Meter - PC Utility - " + caption);
    }

    void testPagesAgainAreThePagePrinted()
    {
        // With no print service, "Print Again" offers the PDF; both give the page the print
        // dialog gave of the same data set and details, and add no record.
        Fixture f;
        f.open();
        f.select(u"m 100"_qs);
        QVERIFY(f.session.openFetchFile(fetchFile(day(3)), u"x"_qs, 2));
        const QByteArray printed = ReportPrinter::pdf({u"m 100"_qs, u"SN-3/B"_qs, u"03/12/26"_qs},
                                                      ReportValues::of(f.session.shown()));
        QVERIFY(FileSave::write(f.dir.filePath(u"printed.pdf"_qs), printed));
        click(child(*f.w, "cmdPrintAgain"));
        shown<QMessageBox>(*f.w, "noPrinter")->button(QMessageBox::Save)->click();
        answer(*f.w, "savePdf", f.dir.filePath(u"again.pdf"_qs));
        click(child(*f.w, "cmdSavePdfAgain"));
        QCOMPARE(
            QFileInfo(shown<QFileDialog>(*f.w, "savePdf")->selectedFiles().value(0)).fileName(),
            "test-report_m_100_2026-12-03.pdf");
        answer(*f.w, "savePdf", f.dir.filePath(u"saved.pdf"_qs));
        const auto words = PdfText::read(f.dir.filePath(u"printed.pdf"_qs)).words;
        QVERIFY(words.size() > 20);
        QCOMPARE(PdfText::read(f.dir.filePath(u"again.pdf"_qs)).words, words);
        QCOMPARE(PdfText::read(f.dir.filePath(u"saved.pdf"_qs)).words, words);
        QCOMPARE((*RecordStore::open(f.store))->counts()->tests, 4);
    }

    void testExportWritesTheRowsShown()
    {
        Fixture f;
        f.open();
        type(*f.w, u"M"_qs);
        click(child(*f.w, "cmdExport"));
        answer(*f.w, "exportRecords", f.dir.filePath(u"records.csv"_qs));
        QCOMPARE_GOLDEN("records-window.csv",
                        QString::fromUtf8(bytes(f.dir.filePath(u"records.csv"_qs))).split(u'\n'));
        click(child(*f.w, "cmdExport"));
        answer(*f.w, "exportRecords", u"/proc/records.csv"_qs);
        QVERIFY(shown<QMessageBox>(*f.w, "exportError")
                    ->text()
                    .startsWith("The test records could not be saved as \"/proc/records.csv\". "));
    }

    void testTrendWarnsOnAFallOfMoreThanTwoKilovolts_data()
    {
        QTest::addColumn<int>("latest");
        QTest::addColumn<QString>("warning");
        QTest::newRow("20 tenths") << 53 << "";
        QTest::newRow("21 tenths") << 52
                                   << "The latest reading, 5.2 kV, is 2.1 kV below the baseline "
                                      "(7.3 kV): more than 2.0 kV.";
    }
    void testTrendWarnsOnAFallOfMoreThanTwoKilovolts()
    {
        QFETCH(int, latest);
        const Trend trend = Trend::of(
            u"E-1"_qs,
            {{u"a"_qs, day(1), 73, 15}, {u"b"_qs, day(5), 80, 16}, {u"c"_qs, day(9), latest, 14}});
        const Chart chart = TrendChart::of(trend);
        QCOMPARE(chart.series.size(), 3u);
        QCOMPARE(chart.series[TrendChart::VoltageSeries].points.back(),
                 QPointF(day(9).toMSecsSinceEpoch(), latest / 10.0));
        QCOMPARE(chart.series[TrendChart::EnergySeries].points.front().y(), 1.5);
        QCOMPARE(chart.series[TrendChart::WarningLevel].points.back().y(), 5.3);
        QCOMPARE(chart.markers.front().label, "baseline");
        QCOMPARE(chart.markers.front().point, QPointF(day(1).toMSecsSinceEpoch(), 7.3));
        QFETCH(QString, warning);
        QCOMPARE(TrendChart::warning(trend), warning);
        QCOMPARE(chart.markers.size(), warning.isEmpty() ? 1u : 2u);
    }

    void testWindowShowsTheSelectedEnergizersTrend()
    {
        // A and D are one energizer ("SN-Ü1", " sn-ü1 "): data sets 1 and 4, 7.3 and 3.1 kV.
        Fixture f;
        f.open();
        f.select(u"M 450"_qs);
        const Chart &chart = child<ChartView>(*f.w, "chtTrend")->chart();
        QCOMPARE(chart.series[TrendChart::VoltageSeries].points.size(), 2u);
        QCOMPARE(child<QLabel>(*f.w, "lblTrendWarning")->text(),
                 "The latest reading, 3.1 kV, is 4.2 kV below the baseline (7.3 kV): more than "
                 "2.0 kV.");
        QCOMPARE(child<QLabel>(*f.w, "lblTrendRule")->text(), TrendChart::rule());
        f.select(u"no test yet"_qs);
        QVERIFY(child<ChartView>(*f.w, "chtTrend")->chart().series.empty());
        QVERIFY(!child(*f.w, "cmdPrintAgain")->isEnabled());
    }

    void testBadStoreIsSaid_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<bool>("setAside");
        QTest::newRow("garbage") << "the file is damaged (not a database)" << true;
        QTest::newRow("truncated") << "the file is damaged" << true;
        QTest::newRow("foreign") << "it is not a file of test records of Voltrane Meter" << true;
        QTest::newRow("newer") << "it was made by a newer version of the program" << false;
        QTest::newRow("folder") << "it is a folder, not a file" << false;
    }
    void testBadStoreIsSaid()
    {
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        Fixture f(tag != u"garbage" && tag != u"folder");
        if (tag == u"garbage")
            QVERIFY(FileSave::write(f.store, QByteArray(4096, 'x')));
        if (tag == u"truncated")
            QVERIFY(QFile::resize(f.store, QFileInfo(f.store).size() / 2));
        if (tag == u"newer" || tag == u"foreign") { // user_version, application_id in the header
            QByteArray b = bytes(f.store);
            b[tag == u"newer" ? 63 : 71] = 99;
            QVERIFY(FileSave::write(f.store, b));
        }
        if (tag == u"folder")
            QDir().mkpath(f.store);
        const QByteArray before = bytes(f.store);
        QFETCH(bool, setAside);
        for (int i = 1; setAside && i < 250; ++i) // more than one batch of the listing
            QVERIFY(FileSave::write(f.history + u"/%1.vmfetch"_qs.arg(i),
                                    fetchFile(day(2, 12).addSecs(i))));
        f.open();
        QFETCH(QString, problem);
        auto *box = shown<QMessageBox>(*f.w, setAside ? "storeDamaged" : "storeError");
        QCOMPARE(box->text().section(u'\n', 0, 0),
                 "The test records in “" + f.store + "” cannot be opened: " + problem + '.');
        QCOMPARE(f.table->model()->rowCount(), 0);
        QCOMPARE(child<QLabel>(*f.w, "lblStatus")->text(),
                 "The test records cannot be opened, so none are shown.");
        QCOMPARE(bytes(f.store), before);
        if (!setAside)
            return;
        click(child(*box, "cmdSetAside"));
        QTRY_COMPARE(f.table->model()->rowCount(), 250); // every kept fetch, listed anew
        QCOMPARE(
            bytes(child<QLabel>(*f.w, "lblStatus")->text().section(u'“', 1).section(u'”', 0, 0)),
            before); // set aside whole, as its name in the status line says
    }
};

int main(int argc, char *argv[])
{
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock"); // no printer, whatever this machine has
    QApplication app(argc, argv);
    TestRecordsWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_records_window.moc"
