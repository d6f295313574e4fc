#include "DataSetCsv.h"
#include "RecordBuilder.h"

#include <QStringList>
#include <QTest>

namespace {
// A small CSV reader: rows of fields, quotes undone. Enough to read back what we write.
QList<QStringList> readCsv(const std::string &utf8)
{
    QString text = QString::fromStdString(utf8);
    QList<QStringList> rows{{}};
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                current += text[++i];
            else if (c == u'"')
                quoted = false;
            else
                current += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            rows.last() << current;
            current.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            rows.last() << current;
            current.clear();
            rows << QStringList();
            ++i;
        } else {
            current += c;
        }
    }
    rows.removeLast(); // after the last line end
    return rows;
}

Measurement decoded(const RecordBuilder &builder)
{
    return *decodeRecord(builder.bytes());
}
} // namespace

class TestDataSetCsv : public QObject
{
    Q_OBJECT

private slots:
    void roundTripOfAKnownRecord();
    void meterTextsAreQuotedWhereNeeded_data();
    void meterTextsAreQuotedWhereNeeded();
    void unscalableRecordLeavesVoltagesEmpty();
    void samplesBelowTheZeroLineMirrorLikeTheChart();
};

void TestDataSetCsv::roundTripOfAKnownRecord()
{
    RecordBuilder builder;
    builder.counts(1234, 60, 73, 15, 500);
    for (int i = 0; i < 200; ++i)
        builder.samples[i] = static_cast<std::uint8_t>(127 + (i % 50) - 20); // peak 156
    const Measurement m = decoded(builder);
    const std::string csv = DataSetCsv::write({0, m, "?MVM-2000\r", "?S SN-104233\r\n"});

    QVERIFY(csv.rfind("\xEF\xBB\xBF", 0) == 0); // byte-order mark first
    const QList<QStringList> rows = readCsv(csv.substr(3));
    QCOMPARE(rows.size(), 7 + 1 + 1 + 200);
    QCOMPARE(rows[0], (QStringList{"Model No.", "VM-2000"}));
    QCOMPARE(rows[1], (QStringList{"Serial No.", "SN-104233"}));
    QCOMPARE(rows[2], (QStringList{"Voltage (kV)", "7.3"}));
    QCOMPARE(rows[3], (QStringList{"Energy (J)", "1.5"}));
    QCOMPARE(rows[4], (QStringList{"Interval (s)", "1.2"}));
    QCOMPARE(rows[5], (QStringList{QString::fromUtf8("Pulse Width (µs)"), "60"}));
    QCOMPARE(rows[6], (QStringList{"Load (Ohms)", "500"}));
    QCOMPARE(rows[7], QStringList{""});
    QCOMPARE(rows[8],
             (QStringList{"Sample", QString::fromUtf8("Time (µs)"), "Code", "Voltage (kV)"}));
    for (int i = 1; i <= 200; ++i) {
        const QStringList &row = rows[8 + i];
        QCOMPARE(row.size(), 4);
        QCOMPARE(row[0].toInt(), i);
        QCOMPARE(row[1].toInt(), 2 * i);
        QCOMPARE(row[2].toInt(), int(builder.samples[i - 1]));
        // Scaled so that the highest sample (156) stands at the measured 7.3 kV.
        const double expected = (builder.samples[i - 1] - 127) * 7.3 / (156 - 127);
        QVERIFY2(qAbs(row[3].toDouble() - expected) < 0.0005, qPrintable(row.join(',')));
    }
    QCOMPARE(rows[8 + 50][3], "7.300"); // sample 50 holds the peak
    QCOMPARE(rows[8 + 21][3], "0.000");
}

void TestDataSetCsv::meterTextsAreQuotedWhereNeeded_data()
{
    QTest::addColumn<QString>("model");
    QTest::newRow("plain") << "VM-2000";
    QTest::newRow("comma") << "VM,2000";
    QTest::newRow("quotes") << "VM \"2000\"";
    QTest::newRow("line end inside") << "VM\r\n2000";
    QTest::newRow("empty") << "";
}

void TestDataSetCsv::meterTextsAreQuotedWhereNeeded()
{
    QFETCH(QString, model);
    const std::string csv =
        DataSetCsv::write({0, decoded(RecordBuilder().counts(1000, 60, 73, 15, 0)),
                           "?M" + model.toStdString(), "?SS"});
    const QList<QStringList> rows = readCsv(csv.substr(3));
    QCOMPARE(rows[0], (QStringList{"Model No.", model}));
    QCOMPARE(rows[6], (QStringList{"Load (Ohms)", "No Load"}));
    QCOMPARE(rows.size(), 209);
}

void TestDataSetCsv::unscalableRecordLeavesVoltagesEmpty()
{
    // A dead energizer: every sample on the zero line, nothing to scale to the peak.
    const Measurement m = decoded(RecordBuilder().counts(1000, 60, 73, 15, 0));
    const QList<QStringList> rows = readCsv(DataSetCsv::write({0, m, "?MM", "?SS"}).substr(3));
    for (int i = 1; i <= 200; ++i) {
        QCOMPARE(rows[8 + i][2], "127");
        QVERIFY(rows[8 + i][3].isEmpty());
        QVERIFY(!DataSetCsv::sampleKV(m, i));
    }
}

void TestDataSetCsv::samplesBelowTheZeroLineMirrorLikeTheChart()
{
    // Every sample below the zero line: the highest (117) is put at the measured voltage, so the
    // trace comes out mirrored, as the printed chart draws it.
    RecordBuilder builder;
    builder.allSamples(107).counts(1000, 60, 50, 15, 0);
    builder.samples[0] = 117;
    const Measurement m = decoded(builder);
    QCOMPARE(*DataSetCsv::sampleKV(m, 1), 5.0);
    QCOMPARE(*DataSetCsv::sampleKV(m, 2), 10.0);
    QVERIFY(!DataSetCsv::sampleKV(m, 0));
    QVERIFY(!DataSetCsv::sampleKV(m, 201));
}

QTEST_APPLESS_MAIN(TestDataSetCsv)
#include "tst_datasetcsv.moc"
