#include "RecordTableModel.h"

#include "DataSetCsv.h"
#include "ValueTexts.h"

#include <algorithm>
#include <numeric>
#include <variant>

namespace {

const char *const Headers[] = {"Recorded",         "Energizer Model", "Energizer Serial",
                               "Customer/Site",    "Meter Serial",    "Data Set",
                               "Voltage (kV)",     "Energy (J)",      "Interval (s)",
                               "Pulse Width (µs)", "Load (Ohms)",     "Technician"};
static_assert(std::size(Headers) == RecordTableModel::ColumnCount + 1);

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

RecordTableModel::RecordTableModel(QObject *parent) : QAbstractTableModel(parent) {}

Result<> RecordTableModel::load(const RecordStore &store, const RecordQuery &query)
{
    if (m_poolPath != store.path() || query.withFetchFiles) {
        m_pool.clear();
        m_poolPath = query.withFetchFiles ? QString() : store.path();
    }
    const Result<QStringList> ids = store.ids(query);
    if (!ids)
        return failure(ids.error());
    if (std::ranges::any_of(*ids, [&](const QString &id) { return !m_pool.contains(id); })) {
        Result<QList<TestRecord>> found = store.find(query);
        if (!found)
            return failure(found.error());
        for (TestRecord &record : *found)
            m_pool.insert(record.id, std::move(record));
    }
    QList<TestRecord> records;
    records.reserve(ids->size());
    for (const QString &id : *ids) {
        if (const auto record = m_pool.constFind(id); record != m_pool.cend())
            records.append(*record);
    }
    Result<QList<KeptFetch>> untested = store.untested(query);
    if (!untested)
        return failure(untested.error());
    setRows(std::move(records), std::move(*untested));
    return {};
}

void RecordTableModel::setRows(QList<TestRecord> records, QList<KeptFetch> untested)
{
    beginResetModel();
    m_records = std::move(records);
    m_untested = std::move(untested);
    m_order.resize(m_records.size() + m_untested.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    arrange();
    endResetModel();
}

QSet<QString> RecordTableModel::addRecords(const QList<TestRecord> &records)
{
    QSet<QString> shown, added;
    for (const TestRecord &r : m_records)
        shown.insert(r.id);
    QList<TestRecord> more = m_records;
    for (const TestRecord &r : records) {
        if (!shown.contains(r.id) && !added.contains(r.id)) {
            more.append(r);
            added.insert(r.id);
        }
    }
    if (!added.isEmpty())
        setRows(std::move(more), m_untested);
    return added;
}

void RecordTableModel::setTechnicianShown(bool shown)
{
    if (shown == m_technicianShown)
        return;
    // Only that column comes or goes: the others keep their widths in the view.
    if (shown)
        beginInsertColumns({}, Technician, Technician);
    else
        beginRemoveColumns({}, Technician, Technician);
    m_technicianShown = shown;
    shown ? endInsertColumns() : endRemoveColumns();
}

int RecordTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int RecordTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount + m_technicianShown;
}

QString RecordTableModel::text(int row, int column) const
{
    const int i = m_order.at(row);
    if (i >= m_records.size()) {
        const KeptFetch &f = m_untested.at(i - m_records.size());
        switch (column) {
        case Recorded:
            return f.saved.toString(u"yyyy-MM-dd HH:mm"_qs);
        case EnergizerModel:
            return u"no test yet"_qs;
        case MeterSerial:
            return f.meterSerial;
        default:
            return {};
        }
    }
    const TestRecord &r = m_records.at(i);
    switch (column) {
    case Recorded:
        return r.recorded.toString(u"yyyy-MM-dd HH:mm"_qs);
    case EnergizerModel:
        return r.energizerModel;
    case EnergizerSerial:
        return r.energizerSerial;
    case Customer:
        return r.customer;
    case MeterSerial:
        return r.meterSerial;
    case DataSet:
        return QString::number(r.dataSet);
    case Voltage:
        return fromStd(ValueTexts::tenthsText(r.voltCount));
    case Energy:
        return fromStd(ValueTexts::tenthsText(r.energyCount));
    case Interval:
        return fromStd(ValueTexts::secondsText(r.intervalMs));
    case PulseWidth:
        return QString::number(r.pulseWidthUs);
    case Load:
        return fromStd(ValueTexts::loadText(r.loadOhms));
    case Technician:
        return r.technician;
    default:
        return {};
    }
}

QVariant RecordTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_order.size() || index.column() >= columnCount())
        return {};
    const int i = m_order.at(index.row());
    const bool tested = i < m_records.size();
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return index.column() >= DataSet ? int(Qt::AlignRight | Qt::AlignVCenter)
                                         : int(Qt::AlignLeft | Qt::AlignVCenter);
    case IdRole:
        return tested ? m_records.at(i).id : QString();
    case FetchIdRole:
        return tested ? qint64(0) : m_untested.at(i - m_records.size()).id;
    default:
        return {};
    }
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromUtf8(Headers[section]);
}

void RecordTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    const QList<int> oldOrder = m_order;
    m_sortColumn = column;
    m_sortOrder = order;
    arrange();
    QList<int> rowOf(m_order.size());
    for (int row = 0; row < m_order.size(); ++row)
        rowOf[m_order.at(row)] = row;
    QModelIndexList after;
    for (const QModelIndex &index : before)
        after << this->index(rowOf.at(oldOrder.at(index.row())), index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void RecordTableModel::arrange()
{
    // One key per row, worked out once: times and counts as numbers (a fetch without a test
    // has none, and sorts before every test), texts folded.
    using Key = std::variant<qint64, QString>;
    QList<Key> keys(m_records.size() + m_untested.size());
    for (int i = 0; i < keys.size(); ++i) {
        const TestRecord *r = i < m_records.size() ? &m_records.at(i) : nullptr;
        const KeptFetch *f = r ? nullptr : &m_untested.at(i - m_records.size());
        const auto count = [&](int TestRecord::*member) { return r ? qint64(r->*member) : -1; };
        switch (m_sortColumn) {
        case Recorded:
            keys[i] = (r ? r->recorded : f->saved).toMSecsSinceEpoch();
            break;
        case EnergizerModel:
            keys[i] = r ? TestRecord::folded(r->energizerModel) : QString();
            break;
        case EnergizerSerial:
            keys[i] = r ? TestRecord::folded(r->energizerSerial) : QString();
            break;
        case Customer:
            keys[i] = r ? TestRecord::folded(r->customer) : QString();
            break;
        case Technician:
            keys[i] = r ? TestRecord::folded(r->technician) : QString();
            break;
        case MeterSerial:
            keys[i] = TestRecord::folded(r ? r->meterSerial : f->meterSerial);
            break;
        case DataSet:
            keys[i] = count(&TestRecord::dataSet);
            break;
        case Voltage:
            keys[i] = count(&TestRecord::voltCount);
            break;
        case Energy:
            keys[i] = count(&TestRecord::energyCount);
            break;
        case Interval:
            keys[i] = count(&TestRecord::intervalMs);
            break;
        case PulseWidth:
            keys[i] = count(&TestRecord::pulseWidthUs);
            break;
        default:
            keys[i] = count(&TestRecord::loadOhms);
            break;
        }
    }
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        return descending ? keys.at(b) < keys.at(a) : keys.at(a) < keys.at(b);
    });
}

QByteArray RecordTableModel::csv() const
{
    std::string out = "\xEF\xBB\xBF"; // UTF-8 byte-order mark, so that spreadsheets read "µ"
    const auto addRow = [&](const auto &cell) {
        for (int column = 0; column < columnCount(); ++column) {
            QString text = cell(column);
            // A spreadsheet takes a cell starting with one of these for a formula; these are
            // texts, so they are marked as such.
            if (!text.isEmpty() && QStringView(u"=+-@\t\r").contains(text.front()))
                text.prepend(u'\'');
            out += (column ? "," : "") + DataSetCsv::field(text.toStdString());
        }
        out += "\r\n";
    };
    addRow([](int column) { return QString::fromUtf8(Headers[column]); });
    for (int row = 0; row < m_order.size(); ++row)
        addRow([&](int column) { return text(row, column); });
    return QByteArray::fromStdString(out);
}
