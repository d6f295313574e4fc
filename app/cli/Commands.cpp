#include "Commands.h"

#include "DataSetCsv.h"
#include "FileSave.h"
#include "MeasurementJson.h"
#include "MeterPort.h"
#include "MeterSession.h"
#include "PortDiscovery.h"
#include "PortNames.h"
#include "ValueTexts.h"

#include <QCoreApplication>

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

QString fromError(const std::string &error)
{
    return QString::fromStdString(error);
}

// The meter's own text without its line end; null before it answered.
OrderedJson meterText(const std::optional<std::string> &reply)
{
    return reply ? OrderedJson(fromUtf8(ValueTexts::meterText(*reply)).trimmed()) : OrderedJson();
}

// What "show" prints of the fetch a session holds.
QString describe(const MeterSession &session, bool json)
{
    const DataSets &data = session.dataSets();
    std::vector<OrderedJson> sets;
    // A caption ends in the meter's line end, which a terminal must not get.
    QString text = fromUtf8(ValueTexts::modelCaption(session.modelReply())).trimmed() + '\n' +
                   fromUtf8(ValueTexts::serialCaption(session.serialReply())).trimmed() + '\n';
    for (int i = 0; i < DataSets::Count; ++i) {
        text += QStringLiteral("Data %1  ").arg(i + 1);
        const std::optional<Measurement> &m = data.measurement(i);
        if (!m) {
            text += QStringLiteral("no valid data\n");
            sets.emplace_back();
            continue;
        }
        const ValueTexts::LabelTexts labels = ValueTexts::labelTexts(*m);
        for (const std::string *label :
             {&labels.voltage, &labels.energy, &labels.interval, &labels.pulseWidth})
            text += fromUtf8(*label) + QStringLiteral("  ");
        text += fromUtf8(labels.load) + '\n';
        std::vector<OrderedJson> samples(m->samples.begin() + 1, m->samples.end());
        std::vector<OrderedJson::Member> members = countMembers(*m);
        members.emplace_back(u"samples"_qs, OrderedJson::array(std::move(samples)));
        sets.push_back(OrderedJson::object(std::move(members)));
    }
    if (!json)
        return text;
    return QString::fromUtf8(OrderedJson::object({{u"model"_qs, meterText(session.modelReply())},
                                                  {u"serial"_qs, meterText(session.serialReply())},
                                                  {u"dataSets"_qs, OrderedJson::array(sets)}})
                                 .toJson()) +
           '\n';
}

// A session on no port, for reading a kept fetch.
struct FileSession
{
    MeterPort line;
    MeterSession session{line, {.program = ProgramName, .keepHistory = false}};
};

// What the window says after a fetch that did not bring every data set, in one line.
QString problem(const FetchOutcome &outcome)
{
    if (outcome.kind == FetchOutcome::Kind::SomeUnreadable)
        return outcome.message + ' ' + outcome.unreadable.join(u"; "_qs);
    return outcome.message;
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
    FileSession reading;
    if (const Result<> opened = reading.session.openFile(file); !opened) {
        err(fromError(opened.error()));
        return std::nullopt;
    }
    reading.session.show(dataSet - 1);
    if (!reading.session.shown())
        err(fromUtf8(reading.session.fault()));
    return reading.session.shown();
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

int fetch(const QString &portText, const QString &saveAs, bool keepInHistory, bool json)
{
    const std::optional<PortChoice> port = PortChoice::parse(portText);
    if (!port) {
        err(u"\"%1\" is not one of the ports \"COM 1\" to \"COM 255\", nor a device such as "
            "\"/dev/ttyUSB0\"."_qs.arg(portText));
        return WrongUsage;
    }
    MeterPort line;
    MeterSession session(line, {.program = ProgramName, .keepHistory = keepInHistory});
    if (const Result<> opened = session.openPort(*port); !opened) {
        err(fromError(opened.error()));
        return Failed;
    }
    QObject::connect(&session, &MeterSession::commandSent, [](int step, const QString &command) {
        err(u"%1 (%2 of %3)"_qs.arg(command).arg(step + 1).arg(MeterSession::StepCount));
    });
    FetchOutcome outcome;
    bool kept = true;
    QObject::connect(&session, &MeterSession::fetchEnded, [&](const FetchOutcome &ended) {
        outcome = ended;
        if (!session.isKeeping())
            QCoreApplication::exit();
    });
    QObject::connect(&session, &MeterSession::fetchKept, [&](const Result<QString> &path) {
        if (!path) {
            err(fromError(path.error()));
            kept = false;
        }
        QCoreApplication::exit();
    });
    if (session.startFetch())
        QCoreApplication::exec();

    if (outcome.kept && !saveAs.isEmpty()) {
        if (const Result<> saved = session.saveAs(saveAs); !saved) {
            err(fromError(saved.error()));
            kept = false;
        }
    }
    if (outcome.kept) // whole, or cut short after a data set came
        out(describe(session, json));
    if (outcome.kind != FetchOutcome::Kind::Complete) {
        err(problem(outcome));
        return Failed;
    }
    return kept ? Done : Failed;
}

int show(const QString &file, bool json)
{
    FileSession reading;
    if (const Result<> opened = reading.session.openFile(file); !opened) {
        err(fromError(opened.error()));
        return Failed;
    }
    out(describe(reading.session, json));
    return Done;
}

int exportCsv(const QString &file, int dataSet, const QString &csv)
{
    const std::optional<ShownDataSet> shown = readDataSet(file, dataSet);
    if (!shown)
        return Failed;
    if (const Result<> saved =
            FileSave::write(csv, QByteArray::fromStdString(DataSetCsv::write(*shown)));
        !saved) {
        err(QStringLiteral("The data set could not be saved as \"%1\". %2.")
                .arg(csv, fromError(saved.error())));
        return Failed;
    }
    return Done;
}

} // namespace Commands
