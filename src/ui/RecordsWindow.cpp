#include "RecordsWindow.h"

#include "ChartView.h"
#include "Dialogs.h"
#include "FileSave.h"
#include "FixedLayout.h"
#include "MeterSession.h"
#include "RecordTableModel.h"
#include "ReportPrinter.h"
#include "ScreenReader.h"
#include "TeamReader.h"
#include "TeamServerDialog.h"
#include "TeamSharing.h"
#include "TrendChart.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent>

using FixedLayout::button;
using FixedLayout::label;

namespace {

// A date edit at this date reads "any": no limit.
const QDate AnyDate(2000, 1, 1);
// More kept fetches than this are listed with a progress window.
constexpr int QuietListing = 300;
// The window waits no longer than this for a store another program keeps locked. Reads in the
// store's write-ahead log are never kept waiting by a writer, so only a store that another
// program holds whole (or one being brought up to date) can make it wait.
constexpr int WindowBusyTimeoutMs = 2000;

QString title()
{
    return RecordsWindow::tr("Test Records");
}

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

QString plural(qsizetype n, const QString &one, const QString &many)
{
    return QLocale().toString(n) + u' ' + (n == 1 ? one : many);
}

bool sameQuery(const RecordQuery &a, const RecordQuery &b)
{
    return a.text == b.text && a.energizerSerial == b.energizerSerial && a.since == b.since &&
           a.until == b.until && a.limit == b.limit && a.withFetchFiles == b.withFetchFiles;
}

// A text of a record fit for a window's caption: control characters shown as \x and two hex
// digits, and no slash, which would cut the caption like a file's path.
QString captionText(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            out += u"\\x"_qs + QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
        else if (c == u'/' || c == u'\\')
            out += QChar(0x2215); // "∕", a division slash
        else
            out += c;
    }
    return out;
}

// The date edit of one end of the range; "any" until a date is chosen.
QDateEdit *dateEdit(const char *name, QWidget *parent)
{
    auto *edit = new QDateEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setDisplayFormat(u"yyyy-MM-dd"_qs);
    edit->setMinimumDate(AnyDate);
    edit->setSpecialValueText(RecordsWindow::tr("any"));
    edit->setDate(AnyDate);
    edit->setCalendarPopup(true);
    return edit;
}

// Opens an "any" date edit's calendar on this month.
class CalendarOpener : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            if (auto *calendar = qobject_cast<QCalendarWidget *>(watched);
                calendar && calendar->selectedDate() <= AnyDate)
                calendar->setCurrentPage(QDate::currentDate().year(), QDate::currentDate().month());
        return false;
    }
};

} // namespace

RecordsWindow::RecordsWindow(MeterSession &session, Places places, QWidget *owner,
                             TeamSharing *sharing)
    : QWidget(owner, Qt::Window), m_session(session), m_places(std::move(places)),
      m_model(new RecordTableModel(this)), m_sharing(sharing)
{
    setObjectName(QStringLiteral("frmRecords"));
    setWindowTitle(title());
    createControls();
    describeControls();
    if (m_sharing) {
        m_reader = new TeamReader(this);
        connect(m_reader, &TeamReader::found, this, &RecordsWindow::teamFound);
        connect(m_reader, &TeamReader::trendFound, this, &RecordsWindow::teamTrendFound);
        connect(m_reader, &TeamReader::recordRead, this, &RecordsWindow::teamRecordRead);
        connect(m_sharing, &TeamSharing::shared, this, &RecordsWindow::shared);
        connect(m_sharing, &TeamSharing::failed, this, &RecordsWindow::shareFailed);
    }
    connect(&m_printing, &QFutureWatcher<PrintService::Outcome>::finished, this,
            &RecordsWindow::printed);
    connect(&m_listing, &QFutureWatcher<Result<Listing>>::finished, this, &RecordsWindow::listed);
    connect(&m_listing, &QFutureWatcher<Result<Listing>>::progressValueChanged, this,
            [this](int done) {
                const int total = m_listing.progressMaximum();
                if (!m_listingProgress && total > QuietListing) {
                    m_listingProgress = new QProgressDialog(tr("Listing the kept fetches…"),
                                                            tr("Cancel"), 0, total, this);
                    m_listingProgress->setObjectName(QStringLiteral("listingProgress"));
                    m_listingProgress->setWindowTitle(title());
                    m_listingProgress->setWindowModality(Qt::WindowModal);
                    m_listingProgress->setMinimumDuration(0);
                    m_listingProgress->setAutoClose(false);
                    m_listingProgress->setAutoReset(false);
                    connect(m_listingProgress, &QProgressDialog::canceled, &m_listing,
                            &QFutureWatcher<Result<Listing>>::cancel);
                }
                if (m_listingProgress) {
                    m_listingProgress->setMaximum(total);
                    m_listingProgress->setValue(done);
                }
            });
    resize(1100, 720);
}

RecordsWindow::~RecordsWindow()
{
    // A listing under way stops at its next batch; the window's parts must outlive it.
    m_listing.cancel();
    m_listing.waitForFinished();
    m_printing.waitForFinished();
}

void RecordsWindow::createControls()
{
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setPlaceholderText(tr("Serial number, model or customer"));
    txtSearch->setClearButtonEnabled(true);
    auto *lblSearch = label(tr("&Search:"), this);
    lblSearch->setBuddy(txtSearch);
    dtFrom = dateEdit("dtFrom", this);
    dtUntil = dateEdit("dtUntil", this);
    auto *opener = new CalendarOpener(this);
    for (QDateEdit *edit : {dtFrom, dtUntil}) {
        edit->calendarWidget()->installEventFilter(opener);
        connect(edit, &QDateEdit::dateChanged, this, &RecordsWindow::filter);
    }
    auto *lblFrom = label(tr("&From:"), this);
    lblFrom->setBuddy(dtFrom);
    auto *lblUntil = label(tr("&Until:"), this);
    lblUntil->setBuddy(dtUntil);
    cmdAnyDates = button(tr("Any Date"), this);
    cmdAnyDates->setObjectName(QStringLiteral("cmdAnyDates"));
    connect(cmdAnyDates, &QPushButton::clicked, this, [this] {
        const QSignalBlocker quietFrom(dtFrom), quietUntil(dtUntil);
        dtFrom->setDate(AnyDate);
        dtUntil->setDate(AnyDate);
        filter(); // once
    });
    lblCount = label({}, this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    connect(txtSearch, &QLineEdit::textChanged, this, &RecordsWindow::filter);

    auto *filters = new QHBoxLayout;
    filters->addWidget(lblSearch);
    filters->addWidget(txtSearch, 3);
    filters->addSpacing(12);
    filters->addWidget(lblFrom);
    filters->addWidget(dtFrom);
    filters->addWidget(lblUntil);
    filters->addWidget(dtUntil);
    filters->addWidget(cmdAnyDates);
    filters->addSpacing(12);
    filters->addWidget(lblCount, 2);

    tblRecords = new QTableView(this);
    tblRecords->setObjectName(QStringLiteral("tblRecords"));
    tblRecords->setModel(m_model);
    tblRecords->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblRecords->setSelectionMode(QAbstractItemView::SingleSelection);
    tblRecords->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblRecords->setWordWrap(false);
    tblRecords->setAlternatingRowColors(true);
    // Rows of one height and columns of set widths: nothing is measured row by row, so 10,000
    // rows fill as quickly as 10.
    tblRecords->verticalHeader()->hide();
    tblRecords->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblRecords->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView *header = tblRecords->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    header->setSortIndicator(RecordTableModel::Recorded, Qt::DescendingOrder);
    tblRecords->setSortingEnabled(true);
    const auto width = [this](int column) {
        const QString caption = m_model->headerData(column, Qt::Horizontal).toString();
        const int sample = fontMetrics().horizontalAdvance(
            column == RecordTableModel::Recorded ? u"2026-12-08 10:15"_qs
            : column < RecordTableModel::DataSet ? u"MMMMMMMMMMMM"_qs
                                                 : u"000"_qs);
        return std::max(sample, fontMetrics().horizontalAdvance(caption)) + 24;
    };
    for (int column = 0; column < RecordTableModel::ColumnCount; ++column)
        header->resizeSection(column, width(column));
    connect(m_model, &QAbstractItemModel::columnsInserted, header, [header, width] {
        header->resizeSection(RecordTableModel::Technician, width(RecordTableModel::Technician));
    });
    connect(tblRecords, &QTableView::doubleClicked, this, &RecordsWindow::openRow);
    auto *actOpenRecord = new QAction(tr("Open in the Main Window"), tblRecords);
    actOpenRecord->setObjectName(QStringLiteral("actOpenRecord"));
    actOpenRecord->setShortcuts({Qt::Key_Return, Qt::Key_Enter});
    actOpenRecord->setShortcutContext(Qt::WidgetShortcut);
    tblRecords->addAction(actOpenRecord);
    tblRecords->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(actOpenRecord, &QAction::triggered, this,
            [this] { openRow(tblRecords->currentIndex()); });
    connect(tblRecords->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &RecordsWindow::selectionChanged);

    grpTrend = new QGroupBox(this);
    grpTrend->setObjectName(QStringLiteral("grpTrend"));
    chtTrend = new ChartView(grpTrend);
    chtTrend->setObjectName(QStringLiteral("chtTrend"));
    chtTrend->setMinimumHeight(160);
    chtTrend->setFormatter(
        [this](const Chart &, int index) { return TrendChart::readout(m_trend, index); });
    lblTrendSummary = label({}, grpTrend);
    lblTrendSummary->setObjectName(QStringLiteral("lblTrendSummary"));
    lblTrendWarning = label({}, grpTrend);
    lblTrendWarning->setObjectName(QStringLiteral("lblTrendWarning"));
    QFont bold = lblTrendWarning->font();
    bold.setBold(true);
    lblTrendWarning->setFont(bold);
    QPalette warningPalette = lblTrendWarning->palette();
    warningPalette.setColor(QPalette::WindowText, QColor(0xb0, 0x10, 0x10));
    lblTrendWarning->setPalette(warningPalette);
    lblTrendRule = label(TrendChart::rule(), grpTrend);
    lblTrendRule->setObjectName(QStringLiteral("lblTrendRule"));
    for (QLabel *l : {lblTrendSummary, lblTrendWarning, lblTrendRule})
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // a long one is cut
    auto *trend = new QVBoxLayout(grpTrend);
    trend->addWidget(chtTrend, 1);
    trend->addWidget(lblTrendSummary);
    trend->addWidget(lblTrendWarning);
    trend->addWidget(lblTrendRule);
    trend->addStretch(); // the texts stay at the top while there is no chart

    splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->addWidget(tblRecords);
    splitter->addWidget(grpTrend);
    splitter->setChildrenCollapsible(false);

    lblStatus = label({}, this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    const auto command = [this](const QString &caption, const char *name) {
        QPushButton *b = button(caption, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    cmdPrintAgain = command(tr("Print Again"), "cmdPrintAgain");
    cmdSavePdfAgain = command(tr("Save PDF Again"), "cmdSavePdfAgain");
    cmdExport = command(tr("Export…"), "cmdExport");
    cmdClose = command(tr("Close"), "cmdClose");
    connect(cmdPrintAgain, &QPushButton::clicked, this, &RecordsWindow::printAgain);
    connect(cmdSavePdfAgain, &QPushButton::clicked, this, &RecordsWindow::savePdfAgain);
    connect(cmdExport, &QPushButton::clicked, this, &RecordsWindow::exportCsv);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    auto *commands = new QHBoxLayout;
    commands->addWidget(lblStatus, 1);
    for (QPushButton *b : {cmdPrintAgain, cmdSavePdfAgain, cmdExport, cmdClose})
        commands->addWidget(b);

    // The team's server: what its records add, how sharing goes, and its two buttons.
    lblTeam = label({}, this);
    lblTeam->setObjectName(QStringLiteral("lblTeam"));
    lblSharing = label({}, this);
    lblSharing->setObjectName(QStringLiteral("lblSharing"));
    for (QLabel *l : {lblTeam, lblSharing}) {
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse); // a message to copy into an e-mail
    }
    cmdTeamServer = command(tr("Team Server…"), "cmdTeamServer");
    cmdShareNow = command(tr("Share Now"), "cmdShareNow");
    cmdShareNow->setToolTip(tr("Send the test records not yet on the team server now."));
    connect(cmdTeamServer, &QPushButton::clicked, this, &RecordsWindow::askTeamServer);
    connect(cmdShareNow, &QPushButton::clicked, this, &RecordsWindow::shareNow);
    auto *teamTexts = new QVBoxLayout;
    teamTexts->addWidget(lblTeam);
    teamTexts->addWidget(lblSharing);
    auto *team = new QHBoxLayout;
    team->addLayout(teamTexts, 1);
    team->addWidget(cmdTeamServer, 0, Qt::AlignTop);
    team->addWidget(cmdShareNow, 0, Qt::AlignTop);
    for (QWidget *w :
         std::initializer_list<QWidget *>{lblTeam, lblSharing, cmdTeamServer, cmdShareNow})
        w->setVisible(m_sharing != nullptr);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(splitter, 1);
    layout->addLayout(team);
    layout->addLayout(commands);
    selectionChanged();
}

void RecordsWindow::describeControls()
{
    setAccessibleDescription(tr("The test records of this computer (and of the team's server, "
                                "when one is set) and the kept fetches with no test yet, with "
                                "the trend of the selected record's energizer."));
    ScreenReader::describe({
        {txtSearch, tr("Search"),
         tr("Shows only the records whose energizer serial number, model or customer holds this "
            "text.")},
        {dtFrom, tr("From"), tr("The first day of the records shown; any: no limit.")},
        {dtUntil, tr("Until"), tr("The last day of the records shown; any: no limit.")},
        {cmdAnyDates, {}, tr("Shows the records of every day again.")},
        {lblCount, {}, tr("How many records are shown.")},
        {tblRecords, tr("Test records"),
         tr("One row a record, the newest first; Enter or a double click opens it in the main "
            "window, and the trend of its energizer is shown below.")},
        {chtTrend, tr("Trend chart"), {}}, // described as each trend is shown
        {lblTrendSummary, {}, tr("The trend in one line.")},
        {lblTrendWarning, {}, tr("The warning of a fall in the peak voltage.")},
        {lblTrendRule, {}, tr("The rule the trend's warning follows.")},
        {lblStatus, {}, tr("What happened to the test records.")},
        {lblTeam, {}, tr("What the team's records add, or why they cannot be reached.")},
        {lblSharing, {}, tr("How the last share with the team's server went.")},
        {cmdTeamServer, {}, tr("Sets the team's server the test records are shared with.")},
        {cmdShareNow, {}, cmdShareNow->toolTip()},
        {cmdExport, {}, tr("Saves the rows shown as a CSV file.")},
        {cmdClose, {}, tr("Closes this window.")},
    });
    ScreenReader::nameClearButton(txtSearch);
}

void RecordsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) { // the trend gets a little more, until the operator moves the line
        m_shownOnce = true;
        splitter->setSizes({splitter->height() * 2 / 5, splitter->height() * 3 / 5});
    }
    if (!event->spontaneous())
        reload();
}

void RecordsWindow::closeEvent(QCloseEvent *event)
{
    // The answer about a page on its way is still to come, and must be shown.
    if (m_waiting)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

bool RecordsWindow::setAsideHelps(const QString &openFailure)
{
    // RecordStore::open() ends its text with the reason; these two are the file's own fault.
    return openFailure.endsWith(u": the file is damaged."_qs) ||
           openFailure.endsWith(u": the file is damaged (not a database)."_qs) ||
           openFailure.endsWith(u": it is not a file of test records of Voltrane Meter."_qs);
}

bool RecordsWindow::openStore()
{
    if (m_store)
        return true;
    const auto empty = [this](const QString &why) {
        m_model->setRows({}, {});
        lblCount->setText(tr("no test records"));
        cmdExport->setEnabled(false);
        setStatus(why);
    };
    // A store is made (written) on a worker thread, by the listing of the fetch history at start
    // or after a store was set aside; never here.
    if (!QFileInfo::exists(m_places.store)) {
        empty(tr("No test records yet: each report page printed or saved is kept here."));
        return false;
    }
    Result<std::unique_ptr<RecordStore>> store =
        RecordStore::open(m_places.store, WindowBusyTimeoutMs);
    if (store) {
        m_store = std::move(*store);
        return true;
    }
    const QString why = fromStd(store.error());
    empty(tr("The test records cannot be opened, so none are shown."));
    if (setAsideHelps(why))
        offerSetAside(why);
    else
        Dialogs::showError(this, "storeError", title(), why);
    return false;
}

void RecordsWindow::offerSetAside(const QString &openFailure)
{
    auto *question = new QMessageBox(
        QMessageBox::Warning, title(),
        openFailure + u"\n\n"_qs +
            tr("It can be set aside under a new name beside it, with nothing deleted, so that "
               "its records stay there for recovery, and a new, empty store started. Set it "
               "aside?"),
        QMessageBox::Cancel, this);
    question->setObjectName(QStringLiteral("storeDamaged"));
    question->setTextFormat(Qt::PlainText);
    QPushButton *setAside =
        question->addButton(tr("Set Aside and Start Anew"), QMessageBox::AcceptRole);
    setAside->setObjectName(QStringLiteral("cmdSetAside"));
    question->setDefaultButton(QMessageBox::Cancel);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(setAside, &QPushButton::clicked, this, &RecordsWindow::setAside);
    question->open();
}

void RecordsWindow::setAside()
{
    const Result<QString> moved = RecordStore::setAside(m_places.store);
    if (!moved) {
        Dialogs::showError(this, "storeError", title(), fromStd(moved.error()));
        return;
    }
    m_note = tr("The damaged test records were set aside as “%1”; a new store was started.")
                 .arg(QDir::toNativeSeparators(*moved));
    setStatus(tr("Listing the kept fetches…"));
    listKeptFetches(); // which makes the new store; the rows follow
}

void RecordsWindow::listKeptFetches()
{
    if (m_listing.isRunning())
        return;
    // On a worker thread with a connection of its own: listing writes to the store.
    m_listing.setFuture(QtConcurrent::run(
        [path = m_places.store, folder = m_places.history](QPromise<Result<Listing>> &promise) {
            Result<std::unique_ptr<RecordStore>> store = RecordStore::open(path);
            if (!store) {
                promise.addResult(Result<Listing>(failure(store.error())));
                return;
            }
            promise.addResult((*store)->listKeptFetches(folder, [&](int done, int total) {
                promise.setProgressRange(0, total);
                promise.setProgressValue(done);
                return !promise.isCanceled();
            }));
        }));
}

void RecordsWindow::listed()
{
    if (m_listingProgress)
        m_listingProgress->deleteLater();
    reload();
    if (m_listing.isCanceled() || m_listing.future().resultCount() == 0) {
        m_note += u' ' + tr("Listing the kept fetches was stopped; it goes on at the next start.");
        setStatus({});
        return;
    }
    const Result<Listing> listing = m_listing.result();
    if (!listing)
        Dialogs::showError(this, "listingError", title(), fromStd(listing.error()));
    else if (!listing->unreadable.isEmpty())
        Dialogs::showWarning(this, "unreadableFetches", title(),
                             tr("These kept fetches cannot be read; they are left where they "
                                "are:") +
                                 u'\n' + listing->unreadable.join(u'\n'));
}

void RecordsWindow::reload()
{
    // The team's records are shown without this computer's too.
    if (openStore() || teamServer()) {
        m_trendSerial.clear(); // a new record may be its latest
        m_teamFailed = false;  // the team's records tried again
        filter();
    }
    showSharing();
}

RecordQuery RecordsWindow::query() const
{
    RecordQuery q;
    q.text = txtSearch->text();
    q.since = dtFrom->date() > AnyDate ? dtFrom->date() : QDate();
    q.until = dtUntil->date() > AnyDate ? dtUntil->date() : QDate();
    return q;
}

void RecordsWindow::filter()
{
    const QString current = currentId();
    if (!showLocal())
        return;
    // The team's records of the same search stay shown until the server's answer comes.
    if (m_teamQuery && sameQuery(*m_teamQuery, query()))
        m_teamOnly = m_model->addRecords(m_teamRows);
    makeCurrent(current);
    selectionChanged();
    showCounts();
    // A server out of reach is not asked again at each keystroke, but when told (retryTeam()).
    if (!m_teamFailed || !teamServer())
        askTeam();
}

bool RecordsWindow::showLocal()
{
    m_teamOnly.clear();
    if (!m_store) {
        m_model->setRows({}, {});
        return true;
    }
    if (const Result<> loaded = m_model->load(*m_store, query()); !loaded) {
        Dialogs::showError(this, "readError", title(), fromStd(loaded.error()));
        return false;
    }
    return true;
}

QString RecordsWindow::currentId() const
{
    return tblRecords->currentIndex().data(RecordTableModel::IdRole).toString();
}

void RecordsWindow::makeCurrent(const QString &id)
{
    // The record selected stays selected while it is among the rows.
    if (id.isEmpty())
        return;
    const QModelIndexList found =
        m_model->match(m_model->index(0, 0), RecordTableModel::IdRole, id, 1, Qt::MatchExactly);
    if (!found.isEmpty())
        tblRecords->setCurrentIndex(found.first());
}

void RecordsWindow::showCounts()
{
    qsizetype untested = 0;
    for (int row = 0; row < m_model->rowCount(); ++row)
        untested += m_model->index(row, 0).data(RecordTableModel::FetchIdRole).toLongLong() != 0;
    const qsizetype tests = m_model->rowCount() - untested;
    lblCount->setText(untested
                          ? tr("%1, %2").arg(plural(tests, tr("test record"), tr("test records")),
                                             plural(untested, tr("fetch with no test yet"),
                                                    tr("fetches with no test yet")))
                          : plural(tests, tr("test record"), tr("test records")));
    cmdExport->setEnabled(m_model->rowCount() > 0);
    if (m_store || m_model->rowCount())
        setStatus(m_model->rowCount() || !query().text.isEmpty() || query().since.isValid() ||
                          query().until.isValid()
                      ? QString()
                      : tr("No test records yet: each report page printed or saved is kept "
                           "here."));
}

void RecordsWindow::selectionChanged()
{
    const QModelIndex current = tblRecords->currentIndex();
    const bool tested =
        current.isValid() && !current.data(RecordTableModel::IdRole).toString().isEmpty();
    cmdPrintAgain->setEnabled(tested && !m_waiting);
    cmdSavePdfAgain->setEnabled(tested && !m_waiting);
    if (tested) {
        showTrend(m_model->text(current.row(), RecordTableModel::EnergizerSerial));
        const QString which = m_model->text(current.row(), RecordTableModel::EnergizerSerial) +
                              u", "_qs + m_model->text(current.row(), RecordTableModel::Recorded);
        const QString print = tr("Print the page of %1 again").arg(which);
        const QString save = tr("Save the page of %1 again as a PDF file").arg(which);
        cmdPrintAgain->setToolTip(FixedLayout::plainToolTip(print));
        cmdSavePdfAgain->setToolTip(FixedLayout::plainToolTip(save));
        ScreenReader::describe({{cmdPrintAgain, {}, print}, {cmdSavePdfAgain, {}, save}});
        return;
    }
    for (QPushButton *b : {cmdPrintAgain, cmdSavePdfAgain}) {
        b->setToolTip(tr("Select a test record first."));
        b->setAccessibleDescription(b->toolTip());
    }
    m_trendSerial.clear();
    m_trend = {};
    grpTrend->setTitle(tr("Trend"));
    chtTrend->setChart(TrendChart::of(m_trend));
    chtTrend->setSummary(TrendChart::description(m_trend));
    chtTrend->hide();
    lblTrendSummary->setText(current.isValid()
                                 ? tr("A fetch with no test yet has no energizer to follow: open "
                                      "it (double click) and print its report.")
                                 : tr("Select a test record to see its energizer's trend."));
    lblTrendWarning->clear();
    lblTrendWarning->hide();
}

void RecordsWindow::showTrend(const QString &energizerSerial)
{
    const QString folded = TestRecord::folded(energizerSerial);
    if (folded == m_trendSerial && !m_trendSerial.isEmpty())
        return;
    m_trendSerial = folded;
    Result<Trend> trend = folded.isEmpty() || !m_store
                              ? Result<Trend>(Trend::of(energizerSerial, {}))
                              : m_store->trend(energizerSerial);
    if (!trend) {
        Dialogs::showError(this, "readError", title(), fromStd(trend.error()));
        trend = Trend::of(energizerSerial, {});
    }
    applyTrend(std::move(*trend));
    // The team's records of the energizer follow, when the server answers.
    if (const std::optional<TeamServer> server = teamServer();
        server && !folded.isEmpty() && !m_teamFailed)
        m_trendTicket = m_reader->trend(*server, energizerSerial);
}

void RecordsWindow::applyTrend(Trend trend)
{
    const QString folded = TestRecord::folded(trend.energizerSerial);
    m_trend = std::move(trend);
    grpTrend->setTitle(tr("Trend of %1").arg(captionText(m_trend.energizerSerial)));
    chtTrend->setChart(TrendChart::of(m_trend));
    chtTrend->setSummary(TrendChart::description(m_trend));
    chtTrend->setVisible(m_trend.baseline.has_value());
    lblTrendSummary->setText(folded.isEmpty()
                                 ? tr("This record names no energizer serial number: there is no "
                                      "trend to follow.")
                                 : TrendChart::summary(m_trend));
    lblTrendWarning->setText(TrendChart::warning(m_trend));
    lblTrendWarning->setVisible(m_trend.warning);
}

void RecordsWindow::openRow(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const QString id = index.data(RecordTableModel::IdRole).toString();
    if (!id.isEmpty()) {
        withRecord(id, "openError", title(),
                   [this](const TestRecord &record) { openRecord(record); });
        return;
    }
    if (!m_store) // a kept fetch is this computer's
        return;
    const qint64 fetchId = index.data(RecordTableModel::FetchIdRole).toLongLong();
    const Result<QByteArray> file = m_store->fetchFile(fetchId);
    const Result<QList<KeptFetch>> kept = m_store->untested();
    if (!file || !kept) {
        Dialogs::showError(this, "openError", title(), fromStd(file ? kept.error() : file.error()));
        return;
    }
    const QByteArray &bytes = *file;
    // Named as its file in the history, or as the history would name it.
    const auto listed = std::ranges::find(*kept, fetchId, &KeptFetch::id);
    const Result<FetchRecord> fetch = FetchFile::fromJson(bytes);
    const QString name = listed != kept->end() && !listed->path.isEmpty()
                             ? QFileInfo(listed->path).fileName()
                         : fetch ? FetchFile::fileName(fetch->saved, fetch->serialReply)
                                 : tr("kept fetch");
    if (const Result<> opened = m_session.openFetchFile(bytes, name); !opened)
        Dialogs::showError(this, "openError", title(), fromStd(opened.error()));
    else
        raiseMain();
}

void RecordsWindow::openRecord(const TestRecord &record)
{
    const QString name = captionText(tr("%1, %2").arg(
        record.energizerSerial.trimmed().isEmpty() ? tr("no serial number")
                                                   : record.energizerSerial.trimmed(),
        record.recorded.toString(u"yyyy-MM-dd HH:mm"_qs)));
    if (const Result<> opened = m_session.openFetchFile(record.fetchFile, name, record.dataSet - 1);
        !opened) {
        sayFailure("openError", title(), fromStd(opened.error()));
        return;
    }
    raiseMain();
}

void RecordsWindow::raiseMain()
{
    if (QWidget *main = parentWidget()) {
        main->showNormal();
        main->raise();
        main->activateWindow();
    }
}

void RecordsWindow::withRecord(const QString &id, const char *name, const QString &title,
                               std::function<void(const TestRecord &)> then)
{
    if (m_teamOnly.contains(id)) {
        if (const std::optional<TeamServer> server = teamServer())
            m_recordAsks.insert(m_reader->record(*server, id), {name, title, std::move(then)});
        else
            sayFailure(name, title,
                       tr("The record is on the team server, which is no longer set."));
        return;
    }
    const Result<TestRecord> record =
        m_store ? m_store->record(id)
                : Result<TestRecord>(failure(tr("Select a test record first.")));
    if (!record)
        sayFailure(name, title, fromStd(record.error()));
    else
        then(*record);
}

void RecordsWindow::teamRecordRead(int ticket, const Result<TestRecord> &record)
{
    const RecordAsk ask = m_recordAsks.take(ticket);
    if (!ask.then)
        return;
    if (!record)
        sayFailure(ask.name, ask.title, fromStd(record.error()));
    else
        ask.then(*record);
}

void RecordsWindow::withSelectedPage(std::function<void(const RecordPage &)> then)
{
    const QString id = currentId();
    if (id.isEmpty()) {
        Dialogs::showError(this, "printError", tr("Print"), tr("Select a test record first."));
        return;
    }
    withRecord(id, "printError", tr("Print"), [this, then](const TestRecord &record) {
        const Result<RecordPage> page = RecordPage::of(record);
        if (!page)
            sayFailure("printError", tr("Print"), fromStd(page.error()));
        else
            then(*page);
    });
}

void RecordsWindow::printAgain()
{
    if (m_waiting)
        return;
    withSelectedPage([this](const RecordPage &page) {
        if (m_waiting) // asked twice while the team's record came
            return;
        setWaiting(true);
        m_printingPage = page;
        // As the print dialog does: the print service may be slow to answer, or not at all.
        m_printing.setFuture(QtConcurrent::run(&PrintService::printReport, page.details,
                                               page.values, std::chrono::seconds(8)));
    });
}

void RecordsWindow::printed()
{
    setWaiting(false);
    using Kind = PrintService::Outcome::Kind;
    const PrintService::Outcome outcome = m_printing.result();
    if (outcome.kind == Kind::NoPrinter || outcome.kind == Kind::NotRunning)
        offerPdf(outcome.message, *m_printingPage);
    else if (outcome.kind == Kind::Paused)
        Dialogs::showMessage(this, "printPaused", tr("Print"), outcome.message);
    else if (outcome.kind != Kind::Printed)
        Dialogs::showError(this, "printError", tr("Print"), outcome.message);
}

void RecordsWindow::offerPdf(const QString &why, const RecordPage &page)
{
    auto *question = new QMessageBox(QMessageBox::Warning, tr("Print"),
                                     why + ' ' + tr("Save the report as a PDF file instead?"),
                                     QMessageBox::Save | QMessageBox::Cancel, this);
    question->setObjectName(QStringLiteral("noPrinter"));
    question->setTextFormat(Qt::PlainText);
    question->setDefaultButton(QMessageBox::Save);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this, [this, page](int result) {
        if (result == QMessageBox::Save)
            askPdf(page);
    });
    question->open();
}

void RecordsWindow::savePdfAgain()
{
    withSelectedPage([this](const RecordPage &page) { askPdf(page); });
}

void RecordsWindow::askPdf(const RecordPage &page)
{
    Dialogs::askSaveFileName(
        this, "savePdf", tr("Save Report as PDF"), page.fileName(), tr("PDF files (*.pdf)"),
        [this, page](const QString &fileName) {
            if (const Result<> written =
                    ReportPrinter::writePdf(fileName, page.details, page.values);
                !written)
                Dialogs::showError(this, "printError", tr("Print"), fromStd(written.error()));
        });
}

void RecordsWindow::exportCsv()
{
    // The rows shown when "Export…" was pressed.
    const QByteArray csv = m_model->csv();
    Dialogs::askSaveFileName(
        this, "exportRecords", tr("Export Test Records as CSV"),
        u"test-records_%1.csv"_qs.arg(QDate::currentDate().toString(Qt::ISODate)),
        tr("CSV files (*.csv)"), [this, csv](const QString &fileName) {
            if (const Result<> saved = FileSave::write(fileName, csv); !saved)
                Dialogs::showError(this, "exportError", tr("Export"),
                                   tr("The test records could not be saved as \"%1\". %2.")
                                       .arg(fileName, fromStd(saved.error())));
        });
}

void RecordsWindow::setWaiting(bool waiting)
{
    m_waiting = waiting;
    setWindowTitle(waiting ? tr("Test Records - printing…") : title());
    if (waiting)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    selectionChanged();
}

void RecordsWindow::setStatus(const QString &text)
{
    const QString shown = m_note.isEmpty() || text.isEmpty() ? m_note + text : m_note + u' ' + text;
    lblStatus->setText(shown);
    lblStatus->setToolTip(FixedLayout::plainToolTip(shown));
}

void RecordsWindow::sayFailure(const char *name, const QString &title, const QString &message)
{
    // A box over this window would hold up the main window too: not while a fetch runs.
    if (m_session.isFetching())
        setStatus(message);
    else
        Dialogs::showError(this, name, title, message);
}

std::optional<TeamServer> RecordsWindow::teamServer() const
{
    return m_sharing ? m_sharing->server() : std::nullopt;
}

void RecordsWindow::askTeam()
{
    const std::optional<TeamServer> server = teamServer();
    if (!server) {
        m_model->setTechnicianShown(false);
        lblTeam->setText(tr("Only this computer's test records are shown: no team server is set "
                            "(“Team Server…”)."));
        return;
    }
    if (!m_teamQuery && !m_teamFailed)
        lblTeam->setText(tr("Searching the team's records on “%1”…").arg(server->display()));
    m_findTicket = m_reader->find(*server, query());
}

void RecordsWindow::teamFound(int ticket, const Result<QList<TestRecord>> &records)
{
    const std::optional<TeamServer> server = teamServer();
    if (ticket != m_findTicket || !server)
        return;
    if (!records) {
        teamUnreachable(records.error());
        return;
    }
    m_teamFailed = false;
    m_teamQuery = query();
    m_teamRows = *records;
    const QString current = currentId();
    m_teamOnly.unite(m_model->addRecords(m_teamRows));
    m_model->setTechnicianShown(true);
    makeCurrent(current);
    showCounts();
    lblTeam->setText(
        tr("The team's records on “%1” are shown too: %2 not on this computer.")
            .arg(server->display(), plural(m_teamOnly.size(), tr("record"), tr("records"))));
}

void RecordsWindow::teamTrendFound(int ticket, const Result<Trend> &trend)
{
    if (ticket != m_trendTicket || !teamServer())
        return;
    if (!trend) {
        teamUnreachable(trend.error());
        return;
    }
    if (TestRecord::folded(trend->energizerSerial) != m_trendSerial)
        return;
    // With this computer's records not on the server yet, in the order of their times.
    QList<TrendPoint> points = trend->points;
    for (const TrendPoint &mine : m_trend.points)
        if (std::ranges::none_of(points, [&](const TrendPoint &p) { return p.id == mine.id; }))
            points.append(mine);
    std::ranges::stable_sort(points, {}, [](const TrendPoint &p) {
        return std::pair(p.recorded.toMSecsSinceEpoch(), p.id);
    });
    applyTrend(Trend::of(trend->energizerSerial, std::move(points)));
}

void RecordsWindow::teamUnreachable(const std::string &why)
{
    m_teamFailed = true;
    m_teamQuery.reset();
    m_teamRows.clear();
    if (!m_teamOnly.isEmpty()) { // rows of an earlier answer
        const QString current = currentId();
        showLocal();
        makeCurrent(current);
        selectionChanged();
        showCounts();
    }
    m_model->setTechnicianShown(false);
    lblTeam->setText(tr("Only this computer's test records are shown: the team's records cannot "
                        "be reached.") +
                     u' ' + fromStd(why));
}

void RecordsWindow::showSharing()
{
    if (!m_sharing)
        return;
    const std::optional<TeamServer> server = m_sharing->server();
    cmdShareNow->setEnabled(server.has_value());
    if (!server) {
        lblSharing->clear();
    } else if (!m_sharing->lastFailure().isEmpty()) {
        lblSharing->setText(m_sharing->lastFailure());
    } else if (const std::optional<ShareReport> &report = m_sharing->lastReport()) {
        shared(*report);
    } else if (const Result<RecordCounts> counts =
                   m_store ? m_store->counts() : Result<RecordCounts>(RecordCounts());
               counts) {
        lblSharing->setText(
            tr("Sharing with “%1”: pending %2.").arg(server->display()).arg(counts->pending));
    }
}

void RecordsWindow::shared(const ShareReport &report)
{
    if (const std::optional<TeamServer> server = teamServer())
        lblSharing->setText(tr("Shared with “%1”: sent %2, pending %3.")
                                .arg(server->display())
                                .arg(report.sent)
                                .arg(report.pending));
    retryTeam(); // the server is back: its records too
}

void RecordsWindow::shareFailed(const QString &message)
{
    // The same failure again leaves the line as it is: it is said once.
    lblSharing->setText(message);
}

void RecordsWindow::shareNow()
{
    const std::optional<TeamServer> server = teamServer();
    if (!server)
        return;
    lblSharing->setText(tr("Sharing the test records with “%1”…").arg(server->display()));
    m_sharing->shareNow();
    retryTeam();
}

void RecordsWindow::retryTeam()
{
    if (!m_teamFailed)
        return;
    m_teamFailed = false;
    m_trendSerial.clear();
    filter();
}

void RecordsWindow::askTeamServer()
{
    if (auto *open = findChild<TeamServerDialog *>(); open && open->isVisible()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto *dialog = new TeamServerDialog(m_places.settings, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, &RecordsWindow::serverChanged);
    dialog->show(); // blocking no window: a fetch may go on meanwhile
}

void RecordsWindow::serverChanged()
{
    const Result<std::optional<TeamServer>> configured =
        TeamServer::configured(Settings(m_places.settings));
    m_sharing->setServer(configured ? *configured : std::nullopt);
    m_teamQuery.reset();
    m_teamRows.clear();
    m_teamFailed = false;
    m_trendSerial.clear();
    showSharing();
    if (!configured)
        lblSharing->setText(fromStd(configured.error()));
    m_sharing->shareNow();
    filter();
}
