#include "RecordChooser.h"

#include "ScreenReader.h"

#include <QDialogButtonBox>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent>

RecordChooser::RecordChooser(const QString &storePath, const FetchRecord &fetch, int index,
                             QWidget *parent)
    : QDialog(parent), m_storePath(storePath), m_fetch(fetch), m_index(index)
{
    setObjectName(QStringLiteral("frmChooseRecord"));
    setWindowTitle(tr("Compare With a Test Record"));
    auto *layout = new QVBoxLayout(this);
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setPlaceholderText(tr("Energizer serial, model or customer; Enter searches"));
    txtSearch->setClearButtonEnabled(true);
    lblFound = new QLabel(this);
    lblFound->setObjectName(QStringLiteral("lblFound"));
    lblFound->setTextFormat(Qt::PlainText);
    lblFound->setWordWrap(true);
    lstRecords = new QListWidget(this);
    lstRecords->setObjectName(QStringLiteral("lstRecords"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    cmdCompare = buttons->addButton(tr("Compare"), QDialogButtonBox::AcceptRole);
    cmdCompare->setObjectName(QStringLiteral("cmdCompare"));
    cmdCompare->setEnabled(false);
    for (QWidget *w : std::initializer_list<QWidget *>{txtSearch, lblFound, lstRecords, buttons})
        layout->addWidget(w);
    resize(560, 420);
    setAccessibleDescription(tr("Choose the test record whose data set is drawn behind the "
                                "waveform as its reference."));
    ScreenReader::describe({
        {txtSearch, tr("Search"),
         tr("An energizer serial number, model or customer; Enter searches.")},
        {lblFound, {}, tr("What the search found.")},
        {lstRecords, tr("Test records"),
         tr("Enter or a double click compares with the record, as Compare does.")},
        {cmdCompare, {}, tr("Draws the record chosen behind the waveform.")},
    });
    ScreenReader::nameClearButton(txtSearch);

    connect(txtSearch, &QLineEdit::returnPressed, this, [this] { search(txtSearch->text()); });
    connect(lstRecords, &QListWidget::currentRowChanged, this,
            [this](int row) { cmdCompare->setEnabled(row >= 0); });
    connect(lstRecords, &QListWidget::itemActivated, this, &RecordChooser::choose);
    connect(buttons, &QDialogButtonBox::accepted, this, &RecordChooser::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    search({});
}

void RecordChooser::search(const QString &text)
{
    const int search = ++m_searches;
    lblFound->setText(tr("Searching the test records…"));
    auto *watcher = new QFutureWatcher<Result<ReferenceRecords::Found>>(this);
    connect(watcher, &QFutureWatcher<Result<ReferenceRecords::Found>>::finished, this,
            [this, watcher, search] {
                watcher->deleteLater();
                if (search == m_searches)
                    found(watcher->result());
            });
    watcher->setFuture(
        QtConcurrent::run(&ReferenceRecords::find, m_storePath, text.trimmed(), m_fetch, m_index));
}

void RecordChooser::found(const Result<ReferenceRecords::Found> &found)
{
    lstRecords->clear();
    m_records.clear();
    if (!found) {
        lblFound->setText(QString::fromStdString(found.error()));
        return;
    }
    m_records = found->records;
    for (const TestRecord &record : m_records)
        lstRecords->addItem(ReferenceRecords::name(record));
    if (!found->energizerSerial.isEmpty())
        txtSearch->setText(found->energizerSerial);
    lblFound->setText(m_records.isEmpty() ? tr("No test record found.")
                      : !found->energizerSerial.isEmpty()
                          ? tr("The other test records of energizer “%1”: %2.")
                                .arg(found->energizerSerial)
                                .arg(m_records.size())
                          : tr("Test records found: %1 (at most %2, the newest first).")
                                .arg(m_records.size())
                                .arg(ReferenceRecords::Limit));
    if (!m_records.isEmpty())
        lstRecords->setCurrentRow(0);
}

void RecordChooser::choose()
{
    const int row = lstRecords->currentRow();
    if (row < 0 || row >= m_records.size())
        return;
    emit chosen(m_records[row]);
    accept();
}
