#include "WaveformWindow.h"

#include "ChartView.h"
#include "Dialogs.h"
#include "FetchFile.h"
#include "MeterSession.h"
#include "RecordChooser.h"
#include "RecordStore.h"
#include "ScreenReader.h"
#include "ValueTexts.h"
#include "WaveformTexts.h"

#include <QComboBox>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <cmath>
#include <limits>

namespace {

const QColor TraceColour(0x10, 0x50, 0xc0);
const QColor ReferenceColour(0xe0, 0x80, 0x10);

// Sample i at 2·i µs, in kV as every view scales it. A record whose highest sample lies on the
// zero line has nothing to scale to: its samples on the line are 0 kV, any others left out.
std::vector<QPointF> trace(const Measurement &m)
{
    std::vector<QPointF> points;
    const int peak = peakSample(m.samples);
    for (int i = 1; i <= Measurement::SampleCount; ++i) {
        const std::optional<double> kv = scaledSampleKV(m.samples[i], peak, m.voltCount);
        points.push_back({double(i * Measurement::MicrosecondsPerSample),
                          kv                                      ? *kv
                          : m.samples[i] == Measurement::ZeroLine ? 0.0
                                                                  : std::nan("")});
    }
    return points;
}

// "7.3 kV", the peak voltage as the meter measured it.
QString peakText(const Measurement &m)
{
    return QString::fromStdString(ValueTexts::tenthsText(m.voltCount)) + u" kV"_qs;
}

QLabel *textLabel(const char *name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText); // the meter's and the files' texts are shown, never read
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton *pushButton(const QString &text, const char *name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

WaveformWindow::WaveformWindow(MeterSession &session, QWidget *parent)
    : QWidget(parent, Qt::Window), m_session(session), m_profiles(LimitProfiles::load())
{
    setObjectName(QStringLiteral("frmWaveform"));
    createControls();
    resize(1180, 660);

    connect(&m_session, &MeterSession::shownChanged, this, &WaveformWindow::showDataSet);
    showDataSet();
}

void WaveformWindow::createControls()
{
    m_chart = new ChartView(this);
    m_chart->setFormatter([](const Chart &chart, int i) {
        const QPointF point = chart.series[0].points[std::size_t(i)];
        QString text =
            tr("Sample %1: %2, %3").arg(i + 1).arg(chart.xText(point.x()), chart.yText(point.y()));
        if (chart.series.size() > 1 && i < int(chart.series[1].points.size()) &&
            std::isfinite(chart.series[1].points[std::size_t(i)].y()))
            text +=
                tr("; reference %1").arg(chart.yText(chart.series[1].points[std::size_t(i)].y()));
        return text;
    });

    auto *panel = new QWidget(this);
    panel->setFixedWidth(420);
    auto *side = new QVBoxLayout(panel);
    side->setContentsMargins(0, 0, 0, 0);
    const auto group = [&](const QString &title, const char *name) {
        auto *box = new QGroupBox(title, panel);
        box->setObjectName(QLatin1String(name));
        side->addWidget(box);
        return new QVBoxLayout(box);
    };

    QVBoxLayout *measures = group(tr("Measures from the samples"), "FrameMeasures");
    lblMeasures = textLabel("lblMeasures", panel);
    measures->addWidget(lblMeasures);

    QVBoxLayout *reference = group(tr("Reference"), "FrameReference");
    auto *buttons = new QHBoxLayout;
    cmdCompare = pushButton(tr("Compare With…"), "cmdCompare", panel);
    auto *menu = new QMenu(cmdCompare);
    menu->setObjectName(QStringLiteral("mnuCompare"));
    for (int k = 0; k < DataSets::Count; ++k) {
        actCompareDataSet[std::size_t(k)] = menu->addAction(
            tr("Data Set %1 of This Fetch").arg(k + 1), this, [this, k] { compareWithDataSet(k); });
        actCompareDataSet[std::size_t(k)]->setObjectName(QStringLiteral("actCompareDataSet"));
        actCompareDataSet[std::size_t(k)]->setProperty("index", k);
    }
    menu->addSeparator();
    actCompareFile =
        menu->addAction(tr("A Kept Fetch File…"), this, &WaveformWindow::askCompareFile);
    actCompareFile->setObjectName(QStringLiteral("actCompareFile"));
    actCompareRecord =
        menu->addAction(tr("A Test Record…"), this, &WaveformWindow::askCompareRecord);
    actCompareRecord->setObjectName(QStringLiteral("actCompareRecord"));
    connect(menu, &QMenu::aboutToShow, this, &WaveformWindow::updateCompareMenu);
    cmdCompare->setMenu(menu);
    cmdRemoveReference = pushButton(tr("Remove Reference"), "cmdRemoveReference", panel);
    connect(cmdRemoveReference, &QPushButton::clicked, this, &WaveformWindow::removeReference);
    buttons->addWidget(cmdCompare);
    buttons->addWidget(cmdRemoveReference);
    reference->addLayout(buttons);
    lblReference = textLabel("lblReference", panel);
    reference->addWidget(lblReference);

    QVBoxLayout *check = group(tr("Indicative limit check"), "FrameCheck");
    cmbProfile = new QComboBox(panel);
    cmbProfile->setObjectName(QStringLiteral("cmbProfile"));
    cmbProfile->addItems(m_profiles.names());
    const int remembered = cmbProfile->findText(m_settings.text(Settings::CheckProfile));
    cmbProfile->setCurrentIndex(std::max(0, remembered));
    connect(cmbProfile, &QComboBox::currentIndexChanged, this, &WaveformWindow::chooseProfile);
    check->addWidget(cmbProfile);
    lblCheck = textLabel("lblCheck", panel);
    check->addWidget(lblCheck);
    lblProfileProblems = textLabel("lblProfileProblems", panel);
    lblProfileProblems->setText(m_profiles.problems().join(u'\n'));
    lblProfileProblems->setVisible(!m_profiles.problems().isEmpty());
    lblProfileProblems->setStyleSheet(QStringLiteral("color: #a02020"));
    check->addWidget(lblProfileProblems);

    side->addStretch(1);
    auto *bottom = new QHBoxLayout;
    cmdResetView = pushButton(tr("Reset View"), "cmdResetView", panel);
    cmdResetView->setToolTip(tr("The whole data set again (also Home, R, or a double click on "
                                "the chart). The wheel zooms; a drag draws the part to zoom to."));
    connect(cmdResetView, &QPushButton::clicked, m_chart, &ChartView::resetView);
    auto *cmdClose = pushButton(tr("Close"), "cmdClose", panel);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    bottom->addWidget(cmdResetView);
    bottom->addStretch(1);
    bottom->addWidget(cmdClose);
    side->addLayout(bottom);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_chart, 1);
    layout->addWidget(panel);
    m_chart->setToolTip(tr("Click to place a cursor, drag a cursor to move it, Escape removes "
                           "them."));

    setAccessibleDescription(tr("A closer look at the data set shown: its waveform with cursors "
                                "and zoom, the measures from its samples, a reference to compare "
                                "with, and the indicative limit check."));
    ScreenReader::describe({
        {m_chart, tr("Waveform chart"), {}}, // described as each data set is shown
        {lblMeasures, {}, tr("The measures worked out from the samples.")},
        {lblReference, {}, tr("The reference drawn behind the waveform, and the differences.")},
        {lblCheck, {}, tr("The indicative limit check of the fetch's data sets.")},
        {lblProfileProblems, {}, tr("Limit profile files that cannot be used.")},
        {cmbProfile, tr("Limit profile"),
         tr("The profile the data sets are checked against; kept for the next time.")},
        {cmdCompare,
         {},
         tr("Draws another data set behind this one: of this fetch, of a kept fetch file or of a "
            "test record.")},
        {cmdRemoveReference, {}, tr("Takes the reference away.")},
        {cmdResetView, {}, cmdResetView->toolTip()},
        {cmdClose, {}, tr("Closes this window.")},
    });
}

void WaveformWindow::showDataSet()
{
    const std::optional<ShownDataSet> &shown = m_session.shown();
    const std::optional<Reference> ref = reference();
    Chart chart;
    chart.x = {.title = tr("Time"), .unit = tr("µs"), .symbol = QStringLiteral("t"), .decimals = 0};
    chart.y = {
        .title = tr("Voltage"), .unit = tr("kV"), .symbol = QStringLiteral("V"), .decimals = 2};
    if (shown) {
        chart.title = WaveformTexts::title(*shown, m_session.fileName());
        chart.series.push_back({tr("Data set %1").arg(shown->index + 1), TraceColour,
                                trace(shown->measurement), Chart::Style::LinesAndMarkers});
    } else {
        chart.title = tr("No data set to show");
        if (!m_session.fault().empty())
            chart.title += QStringLiteral(": ") + QString::fromStdString(m_session.fault());
    }
    if (shown && ref)
        chart.series.push_back({tr("Reference: %1").arg(ref->name), ReferenceColour,
                                trace(ref->measurement), Chart::Style::Lines, Chart::YAxis::Left,
                                true});
    setWindowTitle(tr("Waveform") + QStringLiteral(" – ") + chart.title);
    QString summary = chart.title;
    if (shown)
        summary += tr(", peak voltage %1: %2 samples, voltage in kV against time in µs.")
                       .arg(peakText(shown->measurement))
                       .arg(Measurement::SampleCount);
    if (shown && ref)
        summary += u' ' + tr("Drawn behind it: the reference, %1, peak voltage %2.")
                              .arg(ref->name, peakText(ref->measurement));
    m_chart->setChart(std::move(chart));
    m_chart->setSummary(summary);

    lblMeasures->setText(shown ? WaveformTexts::measureLines(shown->measurement).join(u'\n')
                               : tr("No data set to show."));
    if (!ref)
        lblReference->setText(tr("No reference. “Compare With…” draws another data set behind "
                                 "this one."));
    else
        lblReference->setText(
            (QStringList{tr("Reference: %1").arg(ref->name)}
             << (shown ? WaveformTexts::differenceLines(shown->measurement, ref->measurement)
                       : QStringList()))
                .join(u'\n'));
    cmdRemoveReference->setEnabled(ref.has_value());
    showCheck();
}

void WaveformWindow::showCheck()
{
    const std::optional<ShownDataSet> &shown = m_session.shown();
    const std::size_t chosen = std::size_t(std::max(0, cmbProfile->currentIndex()));
    lblCheck->setText(WaveformTexts::checkLines(m_profiles.all().at(chosen), m_session.dataSets(),
                                                shown ? shown->index : -1)
                          .join(u'\n'));
}

std::optional<WaveformWindow::Reference> WaveformWindow::reference() const
{
    if (!m_referenceSet)
        return m_reference;
    const std::optional<Measurement> &m = m_session.dataSets().measurement(*m_referenceSet);
    if (!m)
        return std::nullopt;
    return Reference{tr("data set %1 of this fetch").arg(*m_referenceSet + 1), *m};
}

void WaveformWindow::setReference(std::optional<Reference> reference,
                                  std::optional<int> ofFetchHeld)
{
    m_reference = std::move(reference);
    m_referenceSet = ofFetchHeld;
    showDataSet();
    emit referenceChanged();
}

void WaveformWindow::compareWithDataSet(int index)
{
    if (DataSets::isIndex(index))
        setReference(std::nullopt, index);
}

void WaveformWindow::compareWithFile(const QString &path)
{
    auto *reading = new QFutureWatcher<Result<FetchFile::ReadFile>>(this);
    connect(reading, &QFutureWatcher<Result<FetchFile::ReadFile>>::finished, this,
            [this, reading, path] {
                reading->deleteLater();
                const Result<FetchFile::ReadFile> &read = reading->result();
                if (!read)
                    return referenceFailed(QString::fromStdString(read.error()));
                const DataSets sets = DataSets::of(read->fetch.recordViews());
                // The data set of the same number, else the first valid one.
                int index = m_session.shown() ? m_session.shown()->index : 0;
                for (int k = 0; !sets.measurement(index) && k < DataSets::Count; ++k)
                    index = k;
                const QString name = QFileInfo(path).fileName();
                if (!sets.measurement(index))
                    return referenceFailed(
                        tr("“%1” holds no data set that can be shown.").arg(name));
                setReference(Reference{tr("data set %1 of %2").arg(index + 1).arg(name),
                                       *sets.measurement(index)},
                             std::nullopt);
            });
    reading->setFuture(QtConcurrent::run(&FetchFile::readFile, path));
}

void WaveformWindow::compareWithRecord(const TestRecord &record)
{
    const Result<FetchRecord> fetch = FetchFile::fromJson(record.fetchFile);
    const std::optional<Measurement> m =
        fetch ? DataSets::of(fetch->recordViews()).measurement(record.dataSet - 1) : std::nullopt;
    if (!m)
        return referenceFailed(
            tr("The test record “%1” holds no data set that can be shown%2.")
                .arg(ReferenceRecords::name(record),
                     fetch ? QString()
                           : QStringLiteral(": ") + QString::fromStdString(fetch.error())));
    setReference(Reference{tr("test record of %1").arg(ReferenceRecords::name(record)), *m},
                 std::nullopt);
}

void WaveformWindow::removeReference()
{
    setReference(std::nullopt, std::nullopt);
}

void WaveformWindow::referenceFailed(const QString &message)
{
    Dialogs::showError(this, "referenceError", tr("Compare With"), message);
}

void WaveformWindow::chooseProfile(int index)
{
    if (index < 0)
        return;
    m_settings.setText(Settings::CheckProfile, cmbProfile->itemText(index));
    if (const Result<> saved = m_settings.save(); !saved)
        Dialogs::showError(this, "settingsError", tr("Indicative limit check"),
                           QString::fromStdString(saved.error()));
    showCheck();
}

void WaveformWindow::askCompareFile()
{
    Dialogs::askOpenFileName(this, "compareFetch", tr("Compare With a Kept Fetch"),
                             FetchFile::historyFolder(), tr("Voltrane fetches (*.vmfetch)"),
                             [this](const QString &path) { compareWithFile(path); });
}

void WaveformWindow::askCompareRecord()
{
    const std::optional<ShownDataSet> &shown = m_session.shown();
    auto *chooser = new RecordChooser(RecordStore::defaultPath(), m_session.fetch(),
                                      shown ? shown->index : -1, this);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &RecordChooser::chosen, this, &WaveformWindow::compareWithRecord);
    chooser->open();
}

void WaveformWindow::updateCompareMenu()
{
    const std::optional<ShownDataSet> &shown = m_session.shown();
    for (int k = 0; k < DataSets::Count; ++k)
        actCompareDataSet[std::size_t(k)]->setEnabled(
            m_session.dataSets().measurement(k).has_value() && !(shown && shown->index == k));
}
