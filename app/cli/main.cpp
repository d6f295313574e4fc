// voltrane-meter-cli: the meter's data and the test report from the command line, for labs and
// scripts. The same libraries as the window program, and no window: it runs with no display.
#include "Commands.h"

#include "DataSets.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#ifdef VOLTRANE_CLI_DRAWS
#include <QGuiApplication>
#endif
#include <QHash>
#include <QSet>

namespace {

const QString Program = QStringLiteral("voltrane-meter-cli");

struct Command
{
    QString name;
    QString usage; // after the program's name
    QString help;
    QStringList valueOptions;
    QStringList flags;
    int files = 0; // FILE arguments
};

// Each command's help is wrapped for an 80-column terminal.
// clang-format off
const Command CommandList[] = {
    {"ports", "ports",
     "Lists the \"COM n\" entries whose device is present: entry, device, description.", {}, {},
     0},
    {"fetch", "fetch --port PORT [--save FILE [--force]] [--no-history] [--json]",
     "Fetches the meter's model and serial number and its four data sets (about six\n"
     "seconds), keeps the fetch in the fetch history (unless --no-history) and as FILE,\n"
     "then prints what \"show\" prints. PORT is an entry of the window's port list\n"
     "(\"COM 33\", any letter case) or a device (\"/dev/ttyUSB0\"). An existing FILE is\n"
     "replaced only with --force. Progress goes to standard error; Ctrl+C keeps what\n"
     "has come, when a data set has.",
     {"--port", "--save"}, {"--no-history", "--json", "--force"}, 0},
    {"show", "show FILE [--json [--profile NAME]]",
     "Prints the meter's model and serial number and the five values of each data set\n"
     "of a kept fetch as the window shows them, or \"no valid data\"; with --json as\n"
     "one JSON object, each data set with its measures from the samples and the\n"
     "indicative limit check against the limit profile NAME (the settings' one, or the\n"
     "built-in one).",
     {"--profile"}, {"--json"}, 1},
    {"report",
     "report FILE --data-set N (--pdf OUT | --print) [--energizer-model TEXT] "
     "[--energizer-serial TEXT] [--customer TEXT] [--date TEXT] [--no-record], "
     "or report --record ID (--pdf OUT | --print)",
     "Makes the test report page of data set N (1-4) as the print dialog does, into\n"
     "the PDF file OUT or on the default printer, and records the test (unless\n"
     "--no-record) once the page is issued. The date is today's unless given. With\n"
     "--record ID: the page of that test record again, recording nothing.",
     {"--data-set", "--pdf", "--energizer-model", "--energizer-serial", "--customer", "--date",
      "--record"},
     {"--print", "--no-record"}, 1},
    {"records",
     "records [--team] [--search TEXT] [--energizer-serial S] [--since YYYY-MM-DD] "
     "[--until YYYY-MM-DD] [--json | --csv]",
     "Lists the test records, newest first: all, those whose energizer serial, model\n"
     "or customer holds TEXT (any letter case), one energizer's, or those recorded\n"
     "between two dates; as lines, one JSON array or CSV. With --team, the team\n"
     "server's (all the team's records); this computer's when it cannot be reached.",
     {"--search", "--energizer-serial", "--since", "--until"}, {"--json", "--csv", "--team"}, 0},
    {"share", "share",
     "Sends the test records not yet on the team server to it, oldest first, and says\n"
     "how many went and how many still wait: \"sent N, pending M\".",
     {}, {}, 0},
    {"trend", "trend --energizer-serial S [--json]",
     "The tests of one energizer, oldest first, against the first (the baseline), and a\n"
     "warning when the latest peak voltage is more than 2.0 kV below it.",
     {"--energizer-serial"}, {"--json"}, 0},
    {"export", "export FILE --data-set N --csv OUT",
     "Writes data set N (1-4) as the CSV file OUT, as the window's \"Export Data Set\n"
     "as CSV\" does; OUT \"-\" is standard output.",
     {"--data-set", "--csv"}, {}, 1},
};
// clang-format on

// Options whose value names a port or a file: an empty one (an unset shell variable) is wrong
// usage, not "the default printer" or "nowhere".
const QStringList NamingOptions{"--port", "--save", "--pdf", "--csv"};

struct Arguments
{
    QStringList files;
    QHash<QString, QString> values;
    QSet<QString> flags;
    bool help = false;
    QString error; // wrong usage: what is wrong
};

// Where the operator asked for help and what QCommandLineParser refused first, in the program's
// words ("unknown option --csv", "--port needs a value"): help wins when asked for before the
// first wrong argument.
struct Scan
{
    qsizetype helpAt = -1;
    qsizetype refusedAt = -1;
    QString refused;
};

Scan scan(const Command &command, const QStringList &args)
{
    Scan found;
    for (qsizetype i = 0; i < args.size() && found.refusedAt < 0; ++i) {
        const QString &arg = args[i];
        if (arg == "--")
            break;
        if ((arg == "-h" || arg == "--help") && found.helpAt < 0)
            found.helpAt = i;
        if (!arg.startsWith('-') || arg.size() == 1 || arg == "-h" || arg == "--help" ||
            command.flags.contains(arg))
            continue;
        const qsizetype equals = arg.indexOf('=');
        const QString name = equals > 0 ? arg.left(equals) : arg;
        if (!command.valueOptions.contains(name))
            found = {found.helpAt, i, QStringLiteral("unknown option %1").arg(arg)};
        else if (equals < 0 && ++i == args.size())
            found = {found.helpAt, i, QStringLiteral("%1 needs a value").arg(arg)};
    }
    return found;
}

Arguments parse(const Command &command, const QStringList &args)
{
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    for (const QString &option : command.valueOptions)
        parser.addOption(QCommandLineOption(option.mid(2), QString(), QStringLiteral("value")));
    for (const QString &flag : command.flags)
        parser.addOption(QCommandLineOption(flag.mid(2)));
    Arguments a;
    const bool parsed = parser.parse(QStringList(Program) + args);
    const Scan found = scan(command, args);
    a.help = found.helpAt >= 0 && (found.refusedAt < 0 || found.helpAt < found.refusedAt);
    if (!parsed || found.refusedAt >= 0) {
        a.error = found.refused.isEmpty() ? parser.errorText() : found.refused;
        return a;
    }
    for (const QString &option : command.valueOptions) {
        const QStringList given = parser.values(option.mid(2));
        if (given.size() > 1)
            a.error = QStringLiteral("%1 is given more than once").arg(option);
        else if (!given.isEmpty() && given[0].isEmpty() && NamingOptions.contains(option))
            a.error = QStringLiteral("%1 is empty").arg(option);
        else if (!given.isEmpty())
            a.values[option] = given[0];
    }
    if (!a.error.isEmpty())
        return a;
    for (const QString &flag : command.flags)
        if (parser.isSet(flag.mid(2)))
            a.flags << flag;
    a.files = parser.positionalArguments();
    // A test record's report names no file.
    const int files = command.name == "report" && a.values.contains("--record") ? 0 : command.files;
    if (a.files.size() != files)
        a.error = a.files.size() < command.files
                      ? QStringLiteral("FILE is missing")
                      : QStringLiteral("unexpected %1").arg(a.files.value(files));
    return a;
}

int wrongUsage(const QString &what, const QString &usage)
{
    Commands::err(QStringLiteral("%1: %2").arg(Program, what));
    Commands::err(QStringLiteral("usage: %1 %2").arg(Program, usage));
    return Commands::WrongUsage;
}

int programHelp()
{
    QString text = QStringLiteral("usage: %1 COMMAND [OPTIONS], or --help, --version\n\n"
                                  "Voltrane Meter on the command line. Commands:\n")
                       .arg(Program);
    for (const Command &c : CommandList)
        text += QStringLiteral("  %1 %2\n").arg(Program, c.usage);
    Commands::out(text +
                  QStringLiteral("\n\"%1 COMMAND --help\" says more about one.\n").arg(Program));
    return Commands::Done;
}

// Data set N, 1..4; 0 when the text is not one.
int dataSet(const QString &text)
{
    const int n = text.toInt();
    return DataSets::isIndex(n - 1) ? n : 0;
}

int run(const Command &command, const Arguments &a)
{
    const QString &name = command.name;
    const auto wrong = [&](const QString &what) { return wrongUsage(what, command.usage); };
    const auto missing = [&](const QString &option) {
        return wrong(QStringLiteral("%1 is missing").arg(option));
    };
    QStringList files = a.files;
    for (const QString &option : NamingOptions)
        files << a.values.value(option);
    for (const QString &file : files)
        if (Commands::notUtf8(file)) {
            Commands::err(QStringLiteral("“%1” cannot be opened: its name is not valid UTF-8 text.")
                              .arg(file));
            return Commands::Failed;
        }
    if (name == "ports")
        return Commands::ports();
    if (name == "share")
        return Commands::share();
    if (name == "show")
        return Commands::show(a.files[0], a.flags.contains("--json"), a.values.value("--profile"));
    if (name == "fetch") {
        if (!a.values.contains("--port"))
            return missing("--port");
        const QString save = a.values.value("--save");
        // Before anything goes to the meter: a second fetch must not erase the first.
        if (!save.isEmpty() && QFileInfo::exists(save) && !a.flags.contains("--force")) {
            Commands::err(
                QStringLiteral("%1: %2 exists; give --force to replace it").arg(Program, save));
            return Commands::WrongUsage;
        }
        const int code =
            Commands::fetch(a.values["--port"], save, !a.flags.contains("--no-history"),
                            a.flags.contains("--json"));
        if (code == Commands::WrongUsage) // a port that is neither an entry nor a device
            Commands::err(QStringLiteral("usage: %1 %2").arg(Program, command.usage));
        return code;
    }
    if (name == "records" || name == "trend") {
        RecordQuery query;
        query.text = a.values.value("--search");
        query.energizerSerial = a.values.value("--energizer-serial");
        for (const auto &[option, date] :
             {std::pair("--since", &query.since), {"--until", &query.until}})
            if (a.values.contains(option) &&
                !(*date = QDate::fromString(a.values[option], Qt::ISODate)).isValid())
                return wrong(QStringLiteral("%1 takes a date: YYYY-MM-DD").arg(option));
        if (name == "trend")
            return query.energizerSerial.trimmed().isEmpty()
                       ? missing("--energizer-serial")
                       : Commands::trend(query.energizerSerial, a.flags.contains("--json"));
        if (a.flags.contains("--json") && a.flags.contains("--csv"))
            return wrong(QStringLiteral("give --json or --csv, not both"));
        return Commands::records(query,
                                 a.flags.contains("--json")  ? Commands::Format::Json
                                 : a.flags.contains("--csv") ? Commands::Format::Csv
                                                             : Commands::Format::Text,
                                 a.flags.contains("--team"));
    }
    if (name == "report" && a.values.contains("--record")) {
        if (a.values.contains("--pdf") == a.flags.contains("--print"))
            return wrong(QStringLiteral("give either --pdf OUT or --print"));
        for (const char *option :
             {"--data-set", "--energizer-model", "--energizer-serial", "--customer", "--date"})
            if (a.values.contains(option))
                return wrong(QStringLiteral("--record takes the record's own %1").arg(option));
        return Commands::report({.pdf = a.values.value("--pdf"), .recordId = a.values["--record"]});
    }
    const int n = dataSet(a.values.value("--data-set"));
    if (!a.values.contains("--data-set"))
        return missing("--data-set");
    if (!n)
        return wrong(QStringLiteral("--data-set takes 1, 2, 3 or 4"));
    if (name == "export")
        return a.values.contains("--csv") ? Commands::exportCsv(a.files[0], n, a.values["--csv"])
                                          : missing("--csv");
    if (a.values.contains("--pdf") == a.flags.contains("--print"))
        return wrong(QStringLiteral("give either --pdf OUT or --print"));
    const std::optional<QString> date =
        a.values.contains("--date") ? std::optional(a.values["--date"]) : std::nullopt;
    return Commands::report({.file = a.files[0],
                             .dataSet = n,
                             .pdf = a.values.value("--pdf"),
                             .model = a.values.value("--energizer-model"),
                             .serial = a.values.value("--energizer-serial"),
                             .customer = a.values.value("--customer"),
                             .date = date,
                             .record = !a.flags.contains("--no-record")});
}

} // namespace

int main(int argc, char *argv[])
{
    Commands::takeArguments(argc, argv); // before anything opens a file
    // Standard error is for the operator: one plain line when something fails. Qt's own notes
    // (such as the offscreen platform's about a missing runtime folder) are left out of it.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            Commands::err(message);
    });
#ifdef VOLTRANE_CLI_DRAWS
    // The report's helper: drawing text needs a QGuiApplication, and Qt's offscreen platform gives
    // it fonts without any display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    QCoreApplication::setApplicationName(Program);
    QCoreApplication::setApplicationVersion(QStringLiteral(VOLTRANE_VERSION));

    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString name = args.value(0);
    const QString commandUsage =
        QStringLiteral("COMMAND [OPTIONS]  (COMMAND: ports, fetch, show, report, records, trend, "
                       "export; --help says more)");
    if ((name == "--version" || name == "-v") && args.size() > 1)
        return Commands::finish(
            wrongUsage(QStringLiteral("unexpected %1").arg(args[1]), commandUsage));
    if (name == "--version" || name == "-v") {
        Commands::out(QStringLiteral("%1 %2\n").arg(Program, QStringLiteral(VOLTRANE_VERSION)));
        return Commands::finish(Commands::Done);
    }
    if (name == "--help" || name == "-h")
        return Commands::finish(programHelp());
    for (const Command &command : CommandList) {
        if (command.name != name)
            continue;
        const Arguments a = parse(command, args.mid(1));
        if (a.help) {
            Commands::out(
                QStringLiteral("usage: %1 %2\n\n%3\n").arg(Program, command.usage, command.help));
            return Commands::finish(Commands::Done);
        }
        return Commands::finish(a.error.isEmpty() ? run(command, a)
                                                  : wrongUsage(a.error, command.usage));
    }
    return Commands::finish(wrongUsage(name.isEmpty()
                                           ? QStringLiteral("a command is missing")
                                           : QStringLiteral("unknown command \"%1\"").arg(name),
                                       commandUsage));
}
