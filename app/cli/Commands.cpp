#include "Commands.h"

#include "DataSetCsv.h"
#include "DataSets.h"
#include "FetchFile.h"
#include "FileSave.h"
#include "MeterLink.h"
#include "PortDiscovery.h"
#include "PortNames.h"
#include "ValueTexts.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace Commands {

namespace {

// Written into every kept fetch.
const QString ProgramName = QStringLiteral("voltrane-meter-cli " VOLTRANE_VERSION);

QString fromUtf8(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

// The meter's own text without its line end; null before it answered.
QJsonValue meterText(const std::optional<std::string> &reply)
{
    return reply ? QJsonValue(fromUtf8(ValueTexts::meterText(*reply)).trimmed()) : QJsonValue();
}

// A JSON value as text (QJsonDocument writes only objects and arrays).
QString jsonText(const QJsonValue &value)
{
    const QByteArray inArray = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(inArray.mid(1).chopped(1));
}

// An object of members given as JSON text, in the order given (QJsonObject would sort them), so
// the output reads as documented.
QString jsonObject(std::initializer_list<std::pair<const char *, QString>> members)
{
    QStringList texts;
    for (const auto &[name, value] : members)
        texts << QStringLiteral("\"%1\":%2").arg(QLatin1String(name), value);
    return '{' + texts.join(',') + '}';
}

QString describe(const FetchRecord &fetch, bool json)
{
    DataSets data = FetchFile::dataSets(fetch);
    QStringList sets;
    // A caption ends in the meter's line end, which a terminal must not get.
    QString text = fromUtf8(ValueTexts::modelCaption(data.modelReply())).trimmed() + '\n' +
                   fromUtf8(ValueTexts::serialCaption(data.serialReply())).trimmed() + '\n';
    for (int i = 0; i < DataSets::Count; ++i) {
        text += QStringLiteral("Data %1  ").arg(i + 1);
        if (!data.show(i)) {
            text += QStringLiteral("no valid data\n");
            sets << QStringLiteral("null");
            continue;
        }
        const Measurement &m = data.shown()->measurement;
        const ValueTexts::LabelTexts labels = ValueTexts::labelTexts(m);
        for (const std::string *label :
             {&labels.voltage, &labels.energy, &labels.interval, &labels.pulseWidth})
            text += fromUtf8(*label) + QStringLiteral("  ");
        text += fromUtf8(labels.load) + '\n';
        QJsonArray samples;
        std::for_each(m.samples.begin() + 1, m.samples.end(),
                      [&](std::int16_t code) { samples.append(code); });
        sets << jsonObject({{"voltageKV", jsonText(m.voltCount / 10.0)},
                            {"energyJ", jsonText(m.energyCount / 10.0)},
                            {"intervalMs", jsonText(m.intervalCount)},
                            {"pulseWidthUs", jsonText(m.pulseWidth)},
                            {"loadOhms", jsonText(m.loadOhms)},
                            {"samples", jsonText(samples)}});
    }
    if (!json)
        return text;
    return jsonObject({{"model", jsonText(meterText(data.modelReply()))},
                       {"serial", jsonText(meterText(data.serialReply()))},
                       {"dataSets", '[' + sets.join(',') + ']'}}) +
           '\n';
}

} // namespace

void out(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

void err(const QString &line)
{
    std::fputs((line + '\n').toUtf8().constData(), stderr);
}

std::optional<ShownDataSet> readDataSet(const QString &file, int dataSet)
{
    QString error;
    const std::optional<FetchRecord> fetch = FetchFile::read(file, &error);
    if (!fetch) {
        err(error);
        return std::nullopt;
    }
    DataSets data = FetchFile::dataSets(*fetch);
    if (!data.show(dataSet - 1)) {
        err(fromUtf8(data.fault()));
        return std::nullopt;
    }
    return data.shown();
}

int ports()
{
    const QMap<int, QString> present = PortDiscovery::presentPorts();
    for (auto it = present.cbegin(); it != present.cend(); ++it) {
        QString line = PortNames::entryText(it.key()) + QStringLiteral("  ") +
                       PortNames::devicePath(it.key()).value_or(QString());
        if (!it.value().isEmpty())
            line += QStringLiteral("  ") + it.value();
        out(line + '\n');
    }
    return Done;
}

namespace {

// The port named on the command line: an entry as the window's list names it ("com 7" works,
// "COM7" does not), or a device, which may stand for an entry.
struct PortChoice
{
    int number = 0; // 0: a device no entry stands for
    QString device;
    bool byEntry = false;

    QString entry() const { return number ? PortNames::entryText(number) : QString(); }
    // "COM 129 (/dev/pts/3)", as the window's messages name it; the device alone without entry.
    QString text() const { return number ? u"%1 (%2)"_qs.arg(entry(), device) : device; }
};

std::optional<PortChoice> portChoice(const QString &text)
{
    const QStringList entries = PortNames::portList();
    const auto entry = std::ranges::find_if(entries, [&](const QString &e) {
        return e.compare(text.trimmed(), Qt::CaseInsensitive) == 0;
    });
    if (entry != entries.end()) {
        const int number = int(entry - entries.begin()) + 1;
        return PortChoice{number, PortNames::devicePath(number).value_or(QString()), true};
    }
    if (text.startsWith('/'))
        return PortChoice{PortNames::portNumberForDevice(text).value_or(0), text, false};
    return std::nullopt;
}

// Keeps a fetch as the window keeps it (a fetch cut short only when a data set had come), in the
// history and as `saveAs`; false after saying why when it could not be written.
bool keep(FetchRecord &fetch, bool keepInHistory, const QString &saveAs)
{
    if (!FetchFile::worthKeeping(fetch))
        return true;
    fetch.saved = QDateTime::currentDateTime();
    bool kept = true;
    QString error;
    if (keepInHistory &&
        FetchFile::keep(fetch, FetchFile::historyFolder(), ProgramName, &error).isEmpty()) {
        err(error);
        kept = false;
    }
    if (const QString why =
            saveAs.isEmpty() ? QString() : FetchFile::save(fetch, saveAs, ProgramName);
        !why.isEmpty()) {
        err(u"The fetch could not be saved as \"%1\". %2."_qs.arg(saveAs, why));
        kept = false;
    }
    return kept;
}

// What the window says after a whole fetch that did not bring every data set; empty when it did.
QString fetchProblem(const FetchRecord &fetch, const PortChoice &port)
{
    const DataSets data = FetchFile::dataSets(fetch);
    if (data.nothingReceived())
        return u"The meter on %1 did not answer. Is it switched on and connected to this port?"_qs
            .arg(port.text());
    QStringList unread;
    for (const std::string &line : data.faults())
        unread << fromUtf8(line);
    return unread.isEmpty() ? QString()
                            : u"Not every data set could be read: %1"_qs.arg(unread.join(u"; "_qs));
}

} // namespace

int fetch(const QString &portText, const QString &saveAs, bool keepInHistory, bool json)
{
    const std::optional<PortChoice> port = portChoice(portText);
    if (!port) {
        err(u"\"%1\" is not one of the ports \"COM 1\" to \"COM 255\", nor a device such as "
            "\"/dev/ttyUSB0\"."_qs.arg(portText));
        return WrongUsage;
    }
    MeterLink link;
    if (!(port->byEntry ? link.cm->open(port->number)
                        : link.cm->openDevice(port->device, port->entry()))) {
        err(link.cm->errorString());
        return Failed;
    }
    link.cm->takeAll(); // bytes from before the first command belong to no reply

    // Collected as the window collects them: every reply as it came.
    FetchRecord record;
    record.port = port->number ? port->entry() : port->device;
    static const char *const commands[] = {"?M", "?S", "?1", "?2", "?3", "?4"};
    int step = 0;
    const auto nextStep = [&step] {
        if (++step <= FetchSequence::StepCount)
            err(u"%1 (%2 of %3)"_qs.arg(QLatin1String(commands[step - 1]))
                    .arg(step)
                    .arg(FetchSequence::StepCount));
    };
    const FetchSequence *sequence = link.fetch;
    QObject::connect(sequence, &FetchSequence::modelReplyReceived, [&](const QByteArray &reply) {
        record.modelReply = reply;
        nextStep();
    });
    QObject::connect(sequence, &FetchSequence::serialReplyReceived, [&](const QByteArray &reply) {
        record.serialReply = reply;
        nextStep();
    });
    QObject::connect(sequence, &FetchSequence::recordReceived,
                     [&](int index, const QByteArray &reply) {
                         record.records.at(index) = reply;
                         nextStep();
                     });
    QObject::connect(sequence, &FetchSequence::finished, [] { QCoreApplication::exit(); });
    QString failure; // the line failed, or the meter answered too late
    QObject::connect(sequence, &FetchSequence::failed, [&](const QString &message) {
        failure = message;
        record.complete = false;
        QCoreApplication::exit();
    });
    nextStep();
    if (link.fetch->start())
        QCoreApplication::exec();

    const bool kept = keep(record, keepInHistory, saveAs);
    if (record.saved.isValid()) // kept: whole, or cut short after a data set came
        out(describe(record, json));
    if (const QString problem = failure.isEmpty() ? fetchProblem(record, *port) : failure;
        !problem.isEmpty()) {
        err(problem);
        return Failed;
    }
    return kept ? Done : Failed;
}

int show(const QString &file, bool json)
{
    QString error;
    const std::optional<FetchRecord> fetch = FetchFile::read(file, &error);
    if (!fetch) {
        err(error);
        return Failed;
    }
    out(describe(*fetch, json));
    return Done;
}

int exportCsv(const QString &file, int dataSet, const QString &csv)
{
    const std::optional<ShownDataSet> shown = readDataSet(file, dataSet);
    if (!shown)
        return Failed;
    if (const QString why =
            FileSave::write(csv, QByteArray::fromStdString(DataSetCsv::write(*shown)));
        !why.isEmpty()) {
        err(QStringLiteral("The data set could not be saved as \"%1\". %2.").arg(csv, why));
        return Failed;
    }
    return Done;
}

} // namespace Commands
