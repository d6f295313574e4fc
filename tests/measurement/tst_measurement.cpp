#include "DataSetCsv.h"
#include "Golden.h"
#include "ReportValues.h"
#include "ValueTexts.h"

using namespace ValueTexts;

namespace {
// A meter record: "?1", samples 1..200, the five counts low byte first, nine 0x00 and a CR.
std::string record(
    std::array<std::uint16_t, 5> counts,
    const std::function<int(int)> &sample = [](int) { return 127; })
{
    std::string r = "?1";
    for (int i = 1; i <= 200; ++i)
        r += char(sample(i));
    for (const std::uint16_t v : counts)
        r += {char(v & 0xff), char(v >> 8)};
    return r + std::string(9, '\0') + '\r';
}
} // namespace

class TestMeasurement : public QObject
{
    Q_OBJECT

private slots:
    void decode()
    {
        // Bytes 203..212 of a record, or its length; the five counts it gives, or why none. Sample
        // codes above 127 stay positive (255 comes first).
        for (const QString row :
             {"e8033c0049000f000000|1000 60 73 15 0|", "01020000000000000201|513 0 0 0 258|",
              "0080ffff0000ffff0080|32768 65535 0 65535 32768|",
              "00000000ff7f00000000|0 0 32767 0 0|",
              "00000000008000000000||voltage count out of range",
              "221||the meter sent 221 bytes instead of 222",
              "223||the meter sent 223 bytes instead of 222",
              "1||the meter sent 1 byte instead of 222", "0||no answer"}) {
            std::string bytes = record({}, [](int i) { return i * 37 + 218; });
            if (row.indexOf('|') == 20)
                bytes.replace(202, 10, QByteArray::fromHex(row.left(20).toLatin1()).toStdString());
            else
                bytes.resize(row.section('|', 0, 0).toUInt());
            const std::optional<Measurement> m = decodeRecord(bytes);
            QCOMPARE(m ? QString::asprintf("%d %d %d %d %d", m->intervalCount, m->pulseWidth,
                                           m->voltCount, m->energyCount, m->loadOhms)
                       : QString(),
                     row.section('|', 1, 1));
            QCOMPARE(QString::fromStdString(recordFault(bytes)), row.section('|', 2));
            for (int i = 0; m && i <= 200; ++i)
                QCOMPARE(m->samples[i], i ? quint8(i * 37 + 218) : 0);
            QVERIFY(!m || peakSample(m->samples) == 255);
        }
    }

    void texts()
    {
        // The five labels, the report's value lines and the meter captions, for these counts.
        QStringList lines;
        const std::uint16_t table[][5] = {
            {1000, 60, 73, 15, 0}, {1249, 0, 5, 0, 1}, {1250, 65535, 32767, 65535, 65535},
            {49, 1, 10, 1, 2},     {50, 0, 0, 0, 0},   {65535, 0, 0, 0, 0}};
        for (const auto &counts : table) {
            const Measurement m = *decodeRecord(record(std::to_array(counts)));
            const LabelTexts l = labelTexts(m);
            const ReportValues v =
                ReportValues::of(ShownDataSet{2, m, "?MVM-2000\r", std::nullopt});
            lines << "";
            for (const std::string &text :
                 {l.voltage, l.energy, l.interval, l.pulseWidth, l.load, v.PrnVoltage, v.PrnEnergy,
                  v.PrnInterval, v.PrnPulseWidth, v.PrnLoad, v.PrnModel, v.PrnSerial})
                lines.last() += QString::fromStdString(text).replace('\r', "\\r") + '|';
            QVERIFY(v.PrnVoltCount == counts[2] &&
                    v.PrnData[0] + v.PrnData[201] + v.PrnData[500] == 0 && v.PrnData[200] == 127);
        }
        // Negative counts; nothing shown: empty; a count beyond 16 bits clamped. The meter's texts:
        // from the third byte on, each byte a Latin-1 character, markup kept, its line end
        // dropped and every other control character shown as \xHH; as it came for JSON; before
        // the meter answered, the labels' first captions.
        lines << QString::fromStdString(tenthsText(-15) + secondsText(-1250) + loadText(0, " Ohms"))
              << QString::fromStdString(modelCaption("?MAB12") + serialCaption("?S") +
                                        modelCaption("?") + modelCaption(std::nullopt) +
                                        serialCaption(std::nullopt) + meterText("?M\xb5\xff<b>"));
        for (const std::string &reply :
             std::initializer_list<std::string>{"?SSN-1\r", "?SSN-1\r\n", "?SSN-1\n", "?S\rA\r\r",
                                                std::string("?SV\0M\t\x1b\x7f\x85\xa0", 10)})
            lines << QString::fromStdString(meterText(reply));
        QCOMPARE(QString::fromStdString(rawMeterText("?S\rA\x85\r\n")), "\rA\u0085\r\n");
        QCOMPARE_GOLDEN("value-texts.txt", lines);
        QVERIFY(ReportValues::of(std::nullopt) == ReportValues{} &&
                ReportValues::of(ShownDataSet{0, {.voltCount = 40000}}).PrnVoltCount == 32767 &&
                ReportValues::of(ShownDataSet{0, {.voltCount = -40000}}).PrnVoltCount == -32768);
    }

    void dataSetsSayWhyTheyHoldNothing_data()
    {
        QTest::addColumn<int>("stage"); // 0: nothing fetched, 1: a fetch begun, 2: its records came
        QTest::addColumn<QStringList>("faults");
        QTest::newRow("nothing fetched yet")
            << 0
            << QStringList{"Data set 1: nothing fetched yet", "Data set 2: nothing fetched yet",
                           "Data set 3: nothing fetched yet", "Data set 4: nothing fetched yet"};
        QTest::newRow("a fetch begun")
            << 1
            << QStringList{"Data set 1: no answer", "Data set 2: no answer",
                           "Data set 3: no answer", "Data set 4: no answer"};
        QTest::newRow("records came")
            << 2
            << QStringList{"Data set 2: the meter sent 5 bytes instead of 222",
                           "Data set 4: no answer"};
    }
    void dataSetsSayWhyTheyHoldNothing()
    {
        QFETCH(int, stage);
        QFETCH(QStringList, faults);
        const std::string valid = record({0, 0, 11});
        DataSets sets = stage == 0   ? DataSets()
                        : stage == 1 ? DataSets::fetching()
                                     : DataSets::of({valid, "short", valid, std::nullopt});
        QStringList lines;
        for (const std::string &line : sets.faults())
            lines << QString::fromStdString(line);
        QCOMPARE(lines, faults);
        QCOMPARE(sets.measurement(0).has_value(), stage == 2);
        QCOMPARE(QString::fromStdString(sets.fault(3)), faults.last());
    }

    void dataSetsDecodeEachRecordAsItComes()
    {
        // Each record decoded into its own place; later records replace earlier ones; indexes
        // that are not a data set's change nothing and hold nothing.
        DataSets sets = DataSets::fetching();
        for (int i = -1; i <= 4; ++i)
            sets.setRecord(i, record({0, 0, std::uint16_t(10 * i + 1)}));
        QList<int> volts;
        for (int i = -1; i <= 4; ++i)
            volts << (sets.measurement(i) ? sets.measurement(i)->voltCount : -1);
        QCOMPARE(volts, QList<int>({-1, 1, 11, 21, 31, -1}));
        sets.setRecord(2, "x");
        QCOMPARE(sets.measurement(2).has_value(), false);
        QCOMPARE(QString::fromStdString(sets.fault(2)),
                 "Data set 3: the meter sent 1 byte instead of 222");
        QCOMPARE(QString::fromStdString(sets.fault(-1)), "");
    }

    void csv()
    {
        // Texts quoted where needed, the meter's trimmed; the voltage of each sample (code − 127)
        // × 7.3 / (156 − 127), the peak at the measured 7.3.
        const auto rising = [](int i) { return 106 + (i - 1) % 50 + 1; }; // 107 ... 156, four times
        const std::string bytes =
            DataSetCsv::write({1, *decodeRecord(record({1234, 60, 73, 15, 500}, rising)),
                               "?M \xa0VM,2000\r", "?S\"1\"\r\n"});
        QVERIFY(bytes.starts_with("\xEF\xBB\xBF") && DataSetCsv::field("a\nb") == "\"a\nb\"");
        QCOMPARE_GOLDEN("data-set.csv", QString::fromStdString(bytes.substr(3)).split("\r\n"));
        // Nothing to scale to: empty voltages. All below the zero line: mirrored like the chart. A
        // meter text a spreadsheet would take for a formula is marked as text.
        const std::string plain =
            DataSetCsv::write({0, *decodeRecord(record({})), "?M-1", "?S\t=HYPERLINK(\"x\")"});
        QVERIFY(plain.ends_with("200,400,127,\r\n") &&
                plain.find("Model No.,'-1\r\nSerial No.,\"\\x09=HYPERLINK(\"\"x\"\")\"") !=
                    plain.npos);
        const Measurement below =
            *decodeRecord(record({0, 0, 73}, [](int i) { return i == 1 ? 117 : 107; }));
        QVERIFY(DataSetCsv::sampleKV(below, 2) == 14.6 && !DataSetCsv::sampleKV(below, 0) &&
                !DataSetCsv::sampleKV(below, 201));
    }
};

QTEST_APPLESS_MAIN(TestMeasurement)
#include "tst_measurement.moc"
