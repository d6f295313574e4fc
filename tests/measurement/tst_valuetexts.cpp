#include "RecordBuilder.h"
#include "ReportValues.h"
#include "ValueTexts.h"

#include <QTest>

using namespace ValueTexts;

namespace {
Measurement decoded(const RecordBuilder &builder)
{
    const auto m = decodeRecord(builder.bytes());
    if (!m)
        qFatal("test record did not decode");
    return *m;
}
QString q(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}
} // namespace

class TestValueTexts : public QObject
{
    Q_OBJECT

private slots:
    void tenths_data();
    void tenths();
    void seconds_data();
    void seconds();
    void labelsOfAMeasurement_data();
    void labelsOfAMeasurement();
    void reportValuesOfAMeasurement();
    void reportValuesCopyOnlyTheSamples();
    void reportValuesStartEmpty();
};

void TestValueTexts::tenths_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "0.0";
    QTest::newRow("below one") << 5 << "0.5";
    QTest::newRow("7.3 kV") << 73 << "7.3";
    QTest::newRow("whole") << 10 << "1.0";
    QTest::newRow("largest count") << 65535 << "6553.5";
    QTest::newRow("negative") << -15 << "-1.5";
}

void TestValueTexts::tenths()
{
    QFETCH(int, count);
    QFETCH(QString, text);
    QCOMPARE(q(tenthsText(count)), text);
}

void TestValueTexts::seconds_data()
{
    QTest::addColumn<int>("milliseconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("1000 ms") << 1000 << "1.0";
    QTest::newRow("1234 ms rounds down") << 1234 << "1.2";
    QTest::newRow("1249 ms") << 1249 << "1.2";
    QTest::newRow("1250 ms, a half, rounds up") << 1250 << "1.3";
    QTest::newRow("1251 ms") << 1251 << "1.3";
    QTest::newRow("513 ms") << 513 << "0.5";
    QTest::newRow("49 ms") << 49 << "0.0";
    QTest::newRow("50 ms") << 50 << "0.1";
    QTest::newRow("largest count") << 65535 << "65.5";
    QTest::newRow("zero") << 0 << "0.0";
}

void TestValueTexts::seconds()
{
    QFETCH(int, milliseconds);
    QFETCH(QString, text);
    QCOMPARE(q(secondsText(milliseconds)), text);
}

void TestValueTexts::labelsOfAMeasurement_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("volt");
    QTest::addColumn<int>("energy");
    QTest::addColumn<int>("load");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("data set 1 of a meter")
        << 1000 << 60 << 73 << 15 << 0
        << QStringList{"Voltage = 7.3 KV", "Energy = 1.5 J", "Interval = 1.0 s",
                       "Pulse Width = 60 µs", "Load = No Load"};
    QTest::newRow("all zero") << 0 << 0 << 0 << 0 << 0
                              << QStringList{"Voltage = 0.0 KV", "Energy = 0.0 J",
                                             "Interval = 0.0 s", "Pulse Width = 0 µs",
                                             "Load = No Load"};
    QTest::newRow("one ohm") << 513 << 120 << 98 << 45 << 1
                             << QStringList{"Voltage = 9.8 KV", "Energy = 4.5 J",
                                            "Interval = 0.5 s", "Pulse Width = 120 µs",
                                            "Load = 1 Ohms"};
    QTest::newRow("largest counts")
        << 65535 << 65535 << 32767 << 65535 << 65535
        << QStringList{"Voltage = 3276.7 KV", "Energy = 6553.5 J", "Interval = 65.5 s",
                       "Pulse Width = 65535 µs", "Load = 65535 Ohms"};
}

void TestValueTexts::labelsOfAMeasurement()
{
    QFETCH(int, interval);
    QFETCH(int, width);
    QFETCH(int, volt);
    QFETCH(int, energy);
    QFETCH(int, load);
    QFETCH(QStringList, labels);
    const LabelTexts texts = labelTexts(decoded(RecordBuilder().counts(
        static_cast<std::uint16_t>(interval), static_cast<std::uint16_t>(width),
        static_cast<std::uint16_t>(volt), static_cast<std::uint16_t>(energy),
        static_cast<std::uint16_t>(load))));
    QCOMPARE((QStringList{q(texts.voltage), q(texts.energy), q(texts.interval), q(texts.pulseWidth),
                          q(texts.load)}),
             labels);
}

void TestValueTexts::reportValuesOfAMeasurement()
{
    const ReportValues values = ReportValues::of(ShownDataSet{
        0, decoded(RecordBuilder().counts(1000, 60, 73, 15, 0)), "?MVM-2000\r", "?SSN-1"});
    QCOMPARE(q(values.PrnVoltage), "Voltage (KV): 7.3");
    QCOMPARE(q(values.PrnEnergy), "Energy (J): 1.5");
    QCOMPARE(q(values.PrnInterval), "Interval (s): 1.0");
    QCOMPARE(q(values.PrnPulseWidth), "Pulse Width (µs): 60");
    QCOMPARE(q(values.PrnLoad), "Load (Ohms): No Load");
    QCOMPARE(q(values.PrnModel), "Model No.: VM-2000\r");
    QCOMPARE(q(values.PrnSerial), "Serial No.: SN-1");
    QCOMPARE(values.PrnVoltCount, std::int16_t(73));

    const ReportValues loaded =
        ReportValues::of(ShownDataSet{0, decoded(RecordBuilder().counts(1250, 80, 32767, 0, 1))});
    QCOMPARE(q(loaded.PrnLoad), "Load (Ohms): 1");
    QCOMPARE(q(loaded.PrnInterval), "Interval (s): 1.3");
    QCOMPARE(loaded.PrnVoltCount, std::int16_t(32767));
}

void TestValueTexts::reportValuesCopyOnlyTheSamples()
{
    RecordBuilder builder;
    for (int i = 0; i < 200; ++i)
        builder.samples[i] = static_cast<std::uint8_t>(255 - i);
    const ReportValues values = ReportValues::of(ShownDataSet{0, decoded(builder)});
    QCOMPARE(values.PrnData[0], std::int16_t(0));
    for (int i = 1; i <= 200; ++i)
        QCOMPARE(values.PrnData[i], std::int16_t(256 - i));
    for (int i = 201; i < ReportValues::DataSize; ++i)
        QCOMPARE(values.PrnData[i], std::int16_t(0));
}

void TestValueTexts::reportValuesStartEmpty()
{
    const ReportValues values;
    QVERIFY(values.PrnVoltage.empty() && values.PrnLoad.empty() && values.PrnModel.empty());
    QCOMPARE(values.PrnVoltCount, std::int16_t(0));
    for (std::int16_t sample : values.PrnData)
        QCOMPARE(sample, std::int16_t(0));
}

QTEST_APPLESS_MAIN(TestValueTexts)
#include "tst_valuetexts.moc"
