#include "Commands.h"

#include "DataSetCsv.h"
#include "FileSave.h"
#include "LimitProfiles.h"
#include "MeasurementJson.h"
#include "MeterPort.h"
#include "MeterSession.h"
#include "PortAccess.h"
#include "PortDiscovery.h"
#include "PortNames.h"
#include "RecordTableModel.h"
#include "Settings.h"
#include "TeamStore.h"
#include "ValueTexts.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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
    return reply ? OrderedJson(fromUtf8(ValueTexts::rawMeterText(*reply)).trimmed())
                 : OrderedJson();
}

// What "show" prints of the fetch a session holds.
// The limit profile named on the command line, or in the settings (the built-in one when none
// is), with one line on standard error for each profile file that is not a valid one; nothing
// after saying which profiles there are when the name is none of them.
std::optional<LimitProfile> chosenProfile(const QString &name)
{
    const LimitProfiles profiles = LimitProfiles::load();
    for (const QString &problem : profiles.problems())
        err(problem);
    const QString wanted = name.isEmpty() ? Settings().text(Settings::CheckProfile) : name;
    Result<LimitProfile> found = profiles.find(wanted);
    if (found)
        return *found;
    if (!name.isEmpty()) {
        err(fromError(found.error()));
        return std::nullopt;
    }
    return builtInLimitProfile(); // the settings name one that is gone
}

QString describe(const MeterSession &session, bool json, const LimitProfile &profile)
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
        members.emplace_back(u"measures"_qs, measuresJson(measurePulse(*m)));
        members.emplace_back(u"check"_qs, checkJson(profile.name, LimitCheck::check(*m, profile)));
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

// What went wrong in a fetch, in one line, with what to do about it on the command line.
QString problem(const FetchOutcome &outcome)
{
    using Kind = FetchOutcome::Kind;
    switch (outcome.kind) {
    case Kind::SomeUnreadable:
        return outcome.message + ' ' + outcome.unreadable.join(u"; "_qs);
    case Kind::CutByPort:
        return outcome.message + u" Check the cable and the meter, then fetch again."_qs;
    case Kind::MeterTooLate:
        return outcome.message + u" Check the meter and its cable, then fetch again."_qs;
    default:
        return outcome.message;
    }
}

// Ctrl+C and SIGTERM during a fetch: the handler only writes the signal's number into a pipe,
// which the event loop reads, so the fetch is interrupted there, kept by its rule, and the
// signal raised again afterwards, so the shell sees an interrupted program.
class Interruptions
{
public:
    Interruptions()
    {
        if (::pipe(s_pipe) != 0)
            return;
        for (const int signal : {SIGINT, SIGTERM}) {
            struct sigaction action = {};
            action.sa_handler = [](int signal) {
                const char number = char(signal);
                (void)!::write(s_pipe[1], &number, 1);
            };
            ::sigaction(signal, &action, nullptr);
        }
        m_notifier = std::make_unique<QSocketNotifier>(s_pipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            char number = 0;
            if (::read(s_pipe[0], &number, 1) == 1 && !m_signal) {
                m_signal = number;
                if (m_interrupt)
                    m_interrupt();
            }
        });
    }
    ~Interruptions()
    {
        for (const int signal : {SIGINT, SIGTERM})
            ::signal(signal, SIG_DFL);
        if (m_signal)
            ::raise(m_signal);
    }
    void onInterrupt(std::function<void()> interrupt) { m_interrupt = std::move(interrupt); }

private:
    static inline int s_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_interrupt;
    int m_signal = 0;
};

int s_outputError = 0; // errno of the first write to standard output that failed
QSet<QString> s_notUtf8;

} // namespace

void out(const QString &text)
{
    out(text.toUtf8());
}

void out(const QByteArray &bytes)
{
    if (!s_outputError &&
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()))
        s_outputError = errno ? errno : EIO;
}

int finish(int code)
{
    if (!s_outputError && std::fflush(stdout) != 0)
        s_outputError = errno ? errno : EIO;
    if (s_outputError == EPIPE)
        return Failed; // whoever read the output has all they wanted
    if (s_outputError) {
        err(u"voltrane-meter-cli: the output cannot be written: %1."_qs.arg(
            qt_error_string(s_outputError)));
        return Failed;
    }
    return code;
}

void takeArguments(int argc, char **argv)
{
    // A standard stream that was closed (`>&-`) must not be taken over by the next file the
    // program opens, which would then receive the output: /dev/null stands in for it.
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1)
            continue;
        if (fd == STDOUT_FILENO)
            s_outputError = EBADF;
        if (const int null = ::open("/dev/null", O_RDWR); null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    for (int i = 1; i < argc; ++i)
        if (const QByteArray raw(argv[i]); QString::fromUtf8(raw).toUtf8() != raw)
            s_notUtf8 << QString::fromLocal8Bit(raw);
}

bool notUtf8(const QString &argument)
{
    return s_notUtf8.contains(argument);
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat first, second;
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void err(const QString &line)
{
    const QByteArray bytes = (line + '\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

std::optional<ReadDataSet> readDataSet(const QString &file, int dataSet)
{
    FileSession reading;
    if (const Result<> opened = reading.session.openFile(file); !opened) {
        err(fromError(opened.error()));
        return std::nullopt;
    }
    reading.session.show(dataSet - 1);
    if (!reading.session.shown()) {
        err(fromUtf8(reading.session.fault()));
        return std::nullopt;
    }
    IssuedPage page;
    page.fetchFile = reading.session.fileBytes();
    page.keptPath = reading.session.keptPath();
    page.dataSet = dataSet;
    return ReadDataSet{*reading.session.shown(), page};
}

namespace {

// The store of the test records, or nothing after saying why.
std::unique_ptr<RecordStore> openStore()
{
    Result<std::unique_ptr<RecordStore>> store = RecordStore::open(RecordStore::defaultPath());
    if (!store) {
        err(fromError(store.error()));
        return nullptr;
    }
    return std::move(*store);
}

Measurement countsOf(const TestRecord &record)
{
    Measurement m;
    m.voltCount = record.voltCount;
    m.energyCount = record.energyCount;
    m.intervalCount = record.intervalMs;
    m.pulseWidth = record.pulseWidthUs;
    m.loadOhms = record.loadOhms;
    return m;
}

OrderedJson recordJson(const TestRecord &record)
{
    std::vector<OrderedJson::Member> members{{u"id"_qs, record.id},
                                             {u"recorded"_qs, FetchFile::timeText(record.recorded)},
                                             {u"energizerModel"_qs, record.energizerModel},
                                             {u"energizerSerial"_qs, record.energizerSerial},
                                             {u"customer"_qs, record.customer},
                                             {u"date"_qs, record.dateText},
                                             {u"meterModel"_qs, record.meterModel},
                                             {u"meterSerial"_qs, record.meterSerial},
                                             {u"technician"_qs, record.technician},
                                             {u"dataSet"_qs, record.dataSet}};
    for (OrderedJson::Member &count : countMembers(countsOf(record)))
        members.push_back(std::move(count));
    // The limit check the page was printed with, as "show" gives it; null when it had none.
    const QJsonObject check = QJsonDocument::fromJson(record.check.toUtf8()).object();
    std::vector<OrderedJson::Member> verdicts;
    for (const char *key : {"profile", "energy", "interval", "pulseWidth"})
        if (check.contains(QLatin1String(key)))
            verdicts.emplace_back(QLatin1String(key), OrderedJson(check.value(QLatin1String(key))));
    members.emplace_back(u"check"_qs,
                         verdicts.empty() ? OrderedJson() : OrderedJson::object(verdicts));
    return OrderedJson::object(std::move(members));
}

} // namespace

std::optional<ReadDataSet> readRecord(const QString &id)
{
    const std::unique_ptr<RecordStore> store = openStore();
    if (!store)
        return std::nullopt;
    const Result<TestRecord> record = store->record(id);
    if (!record) {
        err(fromError(record.error()));
        return std::nullopt;
    }
    FileSession reading;
    if (const Result<> opened =
            reading.session.openFetchFile(record->fetchFile, record->id, record->dataSet - 1);
        !opened || !reading.session.shown()) {
        err(opened ? fromUtf8(reading.session.fault()) : fromError(opened.error()));
        return std::nullopt;
    }
    IssuedPage page;
    page.fetchFile = record->fetchFile;
    page.dataSet = record->dataSet;
    page.energizerModel = record->energizerModel;
    page.energizerSerial = record->energizerSerial;
    page.customer = record->customer;
    page.dateText = record->dateText;
    page.check = record->check;
    return ReadDataSet{*reading.session.shown(), page};
}

namespace {

// The team server set, connected; none when none is set, or after saying why it cannot be
// reached (`unreachable` then is the line to say).
std::unique_ptr<TeamStore> teamStore(QString *unreachable = nullptr)
{
    const Result<std::optional<TeamServer>> server = TeamServer::configured(Settings());
    if (!server || !*server) {
        if (unreachable)
            *unreachable =
                server ? u"No team server is set (the settings' records/server, or %1)."_qs.arg(
                             QLatin1String(TeamServer::EnvironmentVariable))
                       : fromError(server.error());
        return nullptr;
    }
    Result<std::unique_ptr<TeamStore>> team = TeamStore::connect(**server);
    if (!team) {
        if (unreachable)
            *unreachable = fromError(team.error());
        return nullptr;
    }
    return std::move(*team);
}

} // namespace

int share()
{
    QString why;
    const std::unique_ptr<TeamStore> team = teamStore(&why);
    if (!team) {
        err(why);
        return Failed;
    }
    const std::unique_ptr<RecordStore> store = openStore();
    if (!store)
        return Failed;
    const Result<ShareReport> shared = team->share(*store);
    if (!shared) {
        err(fromError(shared.error()));
        return Failed;
    }
    out(u"sent %1, pending %2\n"_qs.arg(shared->sent).arg(shared->pending));
    return Done;
}

void shareQuietly()
{
    const Result<std::optional<TeamServer>> server = TeamServer::configured(Settings());
    if (!server || !*server)
        return; // no team server: nothing to send
    QString why;
    const std::unique_ptr<TeamStore> team = teamStore(&why);
    const std::unique_ptr<RecordStore> store =
        team ? std::move(*RecordStore::open(RecordStore::defaultPath())) : nullptr;
    if (team && store)
        if (const Result<ShareReport> shared = team->share(*store); !shared)
            why = fromError(shared.error());
    if (!why.isEmpty())
        err(why);
}

int records(const RecordQuery &query, Format format, bool team)
{
    QString unreachable;
    std::unique_ptr<TeamStore> server = team ? teamStore(&unreachable) : nullptr;
    if (team && !server)
        err(u"The team's records cannot be reached: %1 These are this computer's."_qs.arg(
            unreachable));
    Result<QList<TestRecord>> found = failure("no store");
    std::unique_ptr<RecordStore> store;
    if (server)
        found = server->find(query);
    if (!server || !found) {
        if (server)
            err(u"The team's records cannot be searched: %1 These are this computer's."_qs.arg(
                fromError(found.error())));
        if (!(store = openStore()))
            return Failed;
        found = store->find(query);
    }
    if (!found) {
        err(fromError(found.error()));
        return Failed;
    }
    if (format == Format::Json) {
        std::vector<OrderedJson> list;
        for (const TestRecord &record : *found)
            list.push_back(recordJson(record));
        out(OrderedJson::array(std::move(list)).toJson() + '\n');
        return Done;
    }
    RecordTableModel table;
    table.setRows(*found, {});
    table.setTechnicianShown(!store); // the team's records say who tested
    if (format == Format::Csv) {
        out(table.csv());
        return Done;
    }
    for (int row = 0; row < table.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table.columnCount(); ++column)
            cells << table.text(row, column);
        out(cells.join(u"  "_qs) + '\n');
    }
    return Done;
}

int trend(const QString &energizerSerial, bool json)
{
    // The team's records when a server is set and answers; this computer's otherwise.
    const Result<std::optional<TeamServer>> server = TeamServer::configured(Settings());
    QString unreachable;
    const std::unique_ptr<TeamStore> team = server && *server ? teamStore(&unreachable) : nullptr;
    if (!unreachable.isEmpty())
        err(u"The team's records cannot be reached: %1 This is this computer's trend."_qs.arg(
            unreachable));
    std::unique_ptr<RecordStore> store = team ? nullptr : openStore();
    if (!team && !store)
        return Failed;
    const Result<Trend> trend = team ? team->trend(energizerSerial) : store->trend(energizerSerial);
    if (!trend) {
        err(fromError(trend.error()));
        return Failed;
    }
    if (json) {
        std::vector<OrderedJson> points;
        for (const TrendPoint &point : trend->points)
            points.push_back(
                OrderedJson::object({{u"id"_qs, point.id},
                                     {u"recorded"_qs, FetchFile::timeText(point.recorded)},
                                     {u"voltageKV"_qs, point.voltCount / 10.0},
                                     {u"energyJ"_qs, point.energyCount / 10.0}}));
        out(OrderedJson::object({{u"energizerSerial"_qs, trend->energizerSerial},
                                 {u"baseline"_qs, trend->baseline ? OrderedJson(trend->baseline->id)
                                                                  : OrderedJson()},
                                 {u"points"_qs, OrderedJson::array(std::move(points))},
                                 {u"dropKV"_qs, trend->changeTenths / 10.0},
                                 {u"warning"_qs, trend->warning}})
                .toJson() +
            '\n');
        return Done;
    }
    for (const TrendPoint &point : trend->points)
        out(u"%1  %2 kV  %3 J%4\n"_qs.arg(
            point.recorded.toString(u"yyyy-MM-dd HH:mm"_qs),
            fromUtf8(ValueTexts::tenthsText(point.voltCount)),
            fromUtf8(ValueTexts::tenthsText(point.energyCount)),
            trend->baseline && point.id == trend->baseline->id ? u"  (baseline)"_qs : QString()));
    if (trend->points.isEmpty())
        err(u"There are no tests of energizer “%1”."_qs.arg(energizerSerial.trimmed()));
    else if (trend->warning)
        out(u"Warning: the latest test is %1 kV below the baseline, more than 2.0 kV: the "
            "usual sign of trouble.\n"_qs.arg(
                fromUtf8(ValueTexts::tenthsText(-trend->changeTenths))));
    else
        out(u"The latest test is %1 kV %2 the baseline.\n"_qs.arg(
            fromUtf8(ValueTexts::tenthsText(std::abs(trend->changeTenths))),
            trend->changeTenths < 0 ? u"below"_qs : u"above"_qs));
    return trend->points.isEmpty() ? Failed : Done;
}

int ports()
{
    const QMap<int, QString> present = PortDiscovery::presentPorts();
    for (auto it = present.cbegin(); it != present.cend(); ++it) {
        QString line = PortNames::entryText(it.key()) + QStringLiteral("  ") +
                       PortNames::devicePath(it.key()).value_or(QString());
        if (!it.value().isEmpty())
            line += QStringLiteral("  ") + it.value();
        if (const auto forbidden = PortAccess::forbidden(*PortNames::devicePath(it.key())))
            line += forbidden->groupIsForUsers && !forbidden->inGroup
                        ? u"  (no permission: not in group %1)"_qs.arg(forbidden->group)
                        : u"  (no permission: only %1 may open it)"_qs.arg(forbidden->owner);
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
    Interruptions interruptions; // last to go: it raises a signal that came
    interruptions.onInterrupt([&session] { session.interruptFetch(); });
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
    if (outcome.kind == FetchOutcome::Kind::Interrupted) {
        err(outcome.kept && kept ? u"The fetch was interrupted; what had come is kept."_qs
                                 : u"The fetch was interrupted; nothing is kept."_qs);
        return Failed;
    }
    if (outcome.kept) // whole, or cut short after a data set came
        out(describe(session, json, json ? chosenProfile({}).value() : builtInLimitProfile()));
    if (outcome.kind != FetchOutcome::Kind::Complete) {
        err(problem(outcome));
        return Failed;
    }
    return kept ? Done : Failed;
}

int show(const QString &file, bool json, const QString &profileName)
{
    const std::optional<LimitProfile> profile = chosenProfile(json ? profileName : QString());
    if (!profile)
        return WrongUsage;
    FileSession reading;
    if (const Result<> opened = reading.session.openFile(file); !opened) {
        err(fromError(opened.error()));
        return Failed;
    }
    out(describe(reading.session, json, *profile));
    return Done;
}

int exportCsv(const QString &file, int dataSet, const QString &csv)
{
    if (sameFile(file, csv)) {
        err(u"The data set cannot be saved as \"%1\": that is the fetch it is made from."_qs.arg(
            csv));
        return Failed;
    }
    const std::optional<ReadDataSet> read = readDataSet(file, dataSet);
    if (!read)
        return Failed;
    const QByteArray bytes = QByteArray::fromStdString(DataSetCsv::write(read->shown));
    if (csv == u"-") { // standard output, as tools take it
        out(bytes);
        return Done;
    }
    if (const Result<> saved = FileSave::write(csv, bytes); !saved) {
        err(QStringLiteral("The data set could not be saved as \"%1\". %2.")
                .arg(csv, fromError(saved.error())));
        return Failed;
    }
    return Done;
}

} // namespace Commands
