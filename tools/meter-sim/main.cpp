// voltrane-meter-sim: a meter on a pseudo-terminal, for trying the PC program without a meter.

#include "MeterSimulator.h"
#include "PortNames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

// SIGINT and SIGTERM only write a byte into this pipe; the event loop reads it and quits.
int stopPipe[2];

extern "C" void onStopSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
    errno = savedErrno;
}

bool quitOnStopSignals(QCoreApplication &app)
{
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char bytes[16];
        while (::read(stopPipe[0], bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });

    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void printLine(std::FILE *stream, const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stream);
    std::fflush(stream);
}

// A received line for the log: printable characters as they are, anything else as \xHH.
QString readable(const QByteArray &bytes)
{
    QString text;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 0x20 && value < 0x7f && value != '\\')
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("\\x%1").arg(value, 2, 16, QLatin1Char('0'));
    }
    return text;
}

std::optional<int> intOption(const QCommandLineParser &parser, const QCommandLineOption &option,
                             int minimum, int maximum)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < minimum || value > maximum) {
        printLine(stderr,
                  QStringLiteral("voltrane-meter-sim: --%1 takes a whole number from %2 to %3")
                      .arg(option.names().constFirst())
                      .arg(minimum)
                      .arg(maximum));
        return std::nullopt;
    }
    return value;
}

std::optional<QByteArray> textOption(const QCommandLineParser &parser,
                                     const QCommandLineOption &option)
{
    const QString text = parser.value(option);
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0xff) {
            printLine(stderr,
                      QStringLiteral("voltrane-meter-sim: --%1 takes printable Latin-1 text")
                          .arg(option.names().constFirst()));
            return std::nullopt;
        }
    }
    return text.toLatin1();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("voltrane-meter-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulates a Voltrane meter on a pseudo-terminal, so the PC program can be\n"
        "tried without a meter. On start it prints the device and the \"COM n\" entry\n"
        "to choose in the port list, then answers ?M, ?S and ?1 ... ?4 and logs each\n"
        "received command to stderr.\n"
        "It runs until Ctrl+C (SIGINT) or SIGTERM and then exits with code 0. With\n"
        "--hang-up-after it closes the line on that command, without answering it,\n"
        "and exits with code 0."));
    parser.addHelpOption();

    const QCommandLineOption silentOption(
        QStringLiteral("silent"), QStringLiteral("Answer nothing, like a meter that is off."));
    const QCommandLineOption silentToOption(
        QStringLiteral("silent-to"),
        QStringLiteral("Answer nothing to COMMAND (?M, ?S, ?1 ... ?4) only; may be given more "
                       "than once."),
        QStringLiteral("COMMAND"));
    const QCommandLineOption delayOption(
        QStringLiteral("delay"),
        QStringLiteral("Answer each command MS milliseconds late (default 0)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption recordLengthOption(
        QStringLiteral("record-length"),
        QStringLiteral(
            "Cut data-set replies to N bytes, or pad them with 0x00 to N (default 222)."),
        QStringLiteral("N"), QStringLiteral("222"));
    const QCommandLineOption garbledOption(
        QStringLiteral("garbled"),
        QStringLiteral(
            "Answer data-set requests with line noise whose voltage count is over 32767."));
    const QCommandLineOption hangUpOption(
        QStringLiteral("hang-up-after"),
        QStringLiteral(
            "Close the line on receiving the N-th command, without answering it, like a pulled "
            "cable; then exit."),
        QStringLiteral("N"));
    const QCommandLineOption modelOption(QStringLiteral("model"),
                                         QStringLiteral("Model text for ?M (default VM-2000)."),
                                         QStringLiteral("TEXT"), QStringLiteral("VM-2000"));
    const QCommandLineOption serialOption(
        QStringLiteral("serial"), QStringLiteral("Serial number for ?S (default SN-104233)."),
        QStringLiteral("TEXT"), QStringLiteral("SN-104233"));
    const QCommandLineOption noiseOption(
        QStringLiteral("noise"),
        QStringLiteral("Send N bytes of line noise unasked as soon as it starts; they wait on the "
                       "line until the program opens the port (default 0)."),
        QStringLiteral("N"), QStringLiteral("0"));
    parser.addOptions({silentOption, silentToOption, delayOption, recordLengthOption, garbledOption,
                       hangUpOption, modelOption, serialOption, noiseOption});
    parser.process(app);

    MeterSimulatorOptions options;
    options.silent = parser.isSet(silentOption);
    options.garbled = parser.isSet(garbledOption);
    const std::optional<int> delay = intOption(parser, delayOption, 0, 3'600'000);
    const std::optional<int> recordLength = intOption(parser, recordLengthOption, 0, 65'536);
    const std::optional<int> noise = intOption(parser, noiseOption, 0, 1 << 24);
    const std::optional<QByteArray> model = textOption(parser, modelOption);
    const std::optional<QByteArray> serial = textOption(parser, serialOption);
    std::optional<int> hangUpAfter = -1;
    if (parser.isSet(hangUpOption))
        hangUpAfter = intOption(parser, hangUpOption, 1, 1'000'000);
    for (const QString &command : parser.values(silentToOption)) {
        if (command.size() != 2 || !MeterSimulator::isKnownCommand(command.toLatin1())) {
            printLine(stderr, QStringLiteral("voltrane-meter-sim: --silent-to takes one of ?M, "
                                             "?S, ?1, ?2, ?3, ?4"));
            return 2;
        }
        options.silentTo += command.toLatin1();
    }
    if (!delay || !recordLength || !noise || !model || !serial || !hangUpAfter)
        return 2;
    options.noiseBytes = *noise;
    options.replyDelay = std::chrono::milliseconds(*delay);
    options.recordLength = *recordLength;
    options.model = *model;
    options.serial = *serial;
    options.hangUpAfter = *hangUpAfter;

    if (!quitOnStopSignals(app)) {
        printLine(stderr, QStringLiteral("voltrane-meter-sim: cannot handle stop signals"));
        return 1;
    }

    MeterSimulator simulator(options);
    QString error;
    if (!simulator.start(&error)) {
        printLine(stderr, QStringLiteral("voltrane-meter-sim: %1").arg(error));
        return 1;
    }

    QObject::connect(&simulator, &MeterSimulator::commandReceived, &app,
                     [](const QByteArray &command) {
                         QString line = QStringLiteral("received ") + readable(command);
                         if (!MeterSimulator::isKnownCommand(command))
                             line += QStringLiteral(" (not a command, ignored)");
                         printLine(stderr, line);
                     });
    QObject::connect(&simulator, &MeterSimulator::hungUp, &app, [&simulator] {
        printLine(
            stderr,
            QStringLiteral("hung up after %1 commands").arg(simulator.receivedCommands().size()));
        QCoreApplication::quit();
    });

    const QString device = simulator.devicePath();
    if (const std::optional<int> port = PortNames::portNumberForDevice(device)) {
        printLine(stdout,
                  QStringLiteral("Meter simulator ready on %1 - choose \"%2\" in the port list.")
                      .arg(device, PortNames::entryText(*port)));
    } else {
        printLine(stdout,
                  QStringLiteral("Meter simulator ready on %1 - no \"COM n\" entry maps to it; "
                                 "close some terminals and start it again.")
                      .arg(device));
    }

    return app.exec();
}
