#include "DataSets.h"
#include "MeasurementRecord.h"
#include "RecordBuilder.h"

#include <QRandomGenerator>
#include <QTest>

class TestMeasurementRecord : public QObject
{
    Q_OBJECT

private slots:
    void decodesTheFiveCountsLowByteFirst();
    void samplesAreTheBytesAfterTheEcho();
    void countsAreUnsignedSixteenBit_data();
    void countsAreUnsignedSixteenBit();
    void wrongLengthIsRefused_data();
    void wrongLengthIsRefused();
    void voltageCountAboveInt16IsRefused_data();
    void voltageCountAboveInt16IsRefused();
    void arbitraryBytesAreSafe();
    void dataSetsSelectTheChosenRecord();
    void dataSetsKeepTheCurrentRecordForOtherIndexes();
};

void TestMeasurementRecord::decodesTheFiveCountsLowByteFirst()
{
    // A meter's data set 1: 1.0 s between pulses, 60 µs, 7.3 kV, 1.5 J, no load.
    std::string record = RecordBuilder().bytes();
    const unsigned char counts[] = {0xE8, 0x03, 0x3C, 0x00, 0x49, 0x00, 0x0F, 0x00, 0x00, 0x00};
    for (int i = 0; i < 10; ++i)
        record[202 + i] = static_cast<char>(counts[i]);

    const auto m = decodeRecord(record);
    QVERIFY(m);
    QCOMPARE(m->intervalCount, 1000);
    QCOMPARE(m->pulseWidth, 60);
    QCOMPARE(m->voltCount, 73);
    QCOMPARE(m->energyCount, 15);
    QCOMPARE(m->loadOhms, 0);
    QCOMPARE(m->voltageKV(), 7.3f);
    QCOMPARE(m->energyJ(), 1.5f);
    QCOMPARE(m->intervalS(), 1.0f);
}

void TestMeasurementRecord::samplesAreTheBytesAfterTheEcho()
{
    RecordBuilder builder;
    for (int i = 0; i < 200; ++i)
        builder.samples[i] = static_cast<std::uint8_t>((i * 37 + 11) % 256);
    builder.samples[0] = 255; // codes above 127 must not come out negative
    builder.samples[199] = 0;
    std::string record = builder.bytes();
    record[0] = '\xff'; // the echo bytes are not samples
    record[1] = '\x00';

    const auto m = decodeRecord(record);
    QVERIFY(m);
    QCOMPARE(m->samples[0], std::int16_t(0));
    for (int i = 1; i <= 200; ++i)
        QCOMPARE(m->samples[i], std::int16_t(builder.samples[i - 1]));
    QCOMPARE(m->samples[1], std::int16_t(255));
    QCOMPARE(m->samples[200], std::int16_t(0));
}

void TestMeasurementRecord::countsAreUnsignedSixteenBit_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("expected");
    QTest::newRow("low byte only") << 0x01 << 0x00 << 1;
    QTest::newRow("high byte only") << 0x00 << 0x01 << 256;
    QTest::newRow("low first: 01 02 is 513") << 0x01 << 0x02 << 513;
    QTest::newRow("high bit set is not negative") << 0x00 << 0x80 << 32768;
    QTest::newRow("largest") << 0xFF << 0xFF << 65535;
}

void TestMeasurementRecord::countsAreUnsignedSixteenBit()
{
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, expected);
    // Put the pair into every field but the voltage (which must stay within 16 signed bits).
    for (int field : {0, 1, 3, 4}) {
        std::string record = RecordBuilder().bytes();
        record[202 + 2 * field] = static_cast<char>(low);
        record[203 + 2 * field] = static_cast<char>(high);
        const auto m = decodeRecord(record);
        QVERIFY(m);
        const std::int32_t fields[] = {m->intervalCount, m->pulseWidth, m->voltCount,
                                       m->energyCount, m->loadOhms};
        for (int other = 0; other < 5; ++other)
            QCOMPARE(fields[other], other == field ? expected : 0);
    }
}

void TestMeasurementRecord::wrongLengthIsRefused_data()
{
    QTest::addColumn<int>("length");
    for (int length : {0, 1, 2, 202, 212, 221, 223, 224, 444, 1024})
        QTest::addRow("%d bytes", length) << length;
}

void TestMeasurementRecord::wrongLengthIsRefused()
{
    QFETCH(int, length);
    RecordBuilder builder;
    builder.counts(1000, 60, 73, 15, 0);
    builder.length = static_cast<std::size_t>(length);
    QVERIFY(!decodeRecord(builder.bytes()));
}

void TestMeasurementRecord::voltageCountAboveInt16IsRefused_data()
{
    QTest::addColumn<int>("voltCount");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("highest that fits") << 32767 << true;
    QTest::newRow("one above") << 32768 << false;
    QTest::newRow("largest") << 65535 << false;
}

void TestMeasurementRecord::voltageCountAboveInt16IsRefused()
{
    QFETCH(int, voltCount);
    QFETCH(bool, accepted);
    const auto m = decodeRecord(RecordBuilder().counts(1000, 60, voltCount, 15, 0).bytes());
    QCOMPARE(m.has_value(), accepted);
    if (m)
        QCOMPARE(m->voltCount, voltCount);
}

void TestMeasurementRecord::arbitraryBytesAreSafe()
{
    // Line noise of any length and content must decode safely, and a 222-byte one must decode to
    // exactly its bytes.
    QRandomGenerator random(20261206);
    int decoded = 0;
    for (int round = 0; round < 3000; ++round) {
        const int length = round % 3 == 0 ? 222 : random.bounded(0, 700);
        std::string bytes(static_cast<std::size_t>(length), '\0');
        for (char &c : bytes)
            c = static_cast<char>(random.bounded(256));
        const auto m = decodeRecord(bytes);
        const auto byte = [&](int pos) { return static_cast<unsigned char>(bytes[pos - 1]); };
        const bool voltFits = length == 222 && byte(208) < 0x80;
        QCOMPARE(m.has_value(), voltFits);
        if (!m)
            continue;
        ++decoded;
        QCOMPARE(m->samples[1], std::int16_t(byte(3)));
        QCOMPARE(m->samples[200], std::int16_t(byte(202)));
        QCOMPARE(m->intervalCount, byte(203) + 256 * byte(204));
        QCOMPARE(m->loadOhms, byte(211) + 256 * byte(212));
    }
    QVERIFY(decoded > 100);
}

void TestMeasurementRecord::dataSetsSelectTheChosenRecord()
{
    DataSets sets;
    QVERIFY(!sets.show(0)); // nothing fetched yet

    for (int i = 0; i < DataSets::Count; ++i)
        sets.setRecord(i, RecordBuilder().counts(1000, 60, 10 * (i + 1), 15, 0).bytes());
    for (int i : {2, 0, 3, 1, 1}) {
        QVERIFY(sets.show(i));
        QCOMPARE(sets.shown()->measurement.voltCount, 10 * (i + 1));
        QCOMPARE(sets.shown()->index, i);
    }
}

void TestMeasurementRecord::dataSetsKeepTheCurrentRecordForOtherIndexes()
{
    DataSets sets;
    sets.setRecord(0, RecordBuilder().counts(1000, 60, 73, 15, 0).bytes());
    sets.setRecord(1, "short reply");
    sets.setRecord(9, "ignored");
    QVERIFY(sets.record(9).empty());

    QVERIFY(sets.show(0));
    QVERIFY(sets.show(-1)); // any other index decodes the current record again
    QVERIFY(sets.show(4));
    QCOMPARE(sets.shown()->measurement.voltCount, 73);
    QCOMPARE(sets.shown()->index, 0);

    // A bad record still becomes the current one; it just decodes to nothing, also later.
    QVERIFY(!sets.show(1));
    QVERIFY(!sets.show(17));
    QCOMPARE(sets.shown()->measurement.voltCount, 73);
}

QTEST_APPLESS_MAIN(TestMeasurementRecord)
#include "tst_measurementrecord.moc"
