#pragma once

#include "RecordStore.h"
#include "Result.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

// The test records as the records window lists them, one row each, with the kept fetches that
// have no test yet among them ("no test yet" in the energizer's model column). Sorted by any
// column; newest first until sorted otherwise.
class RecordTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Recorded,       // "2026-12-08 10:15", the local time where it was recorded
        EnergizerModel, // or "no test yet"
        EnergizerSerial,
        Customer, // customer or site
        MeterSerial,
        DataSet,                  // "1" … "4"
        Voltage,                  // kV, one decimal: "7.3"
        Energy,                   // J, one decimal: "1.5"
        Interval,                 // s, one decimal as the window's labels round: "1.0"
        PulseWidth,               // µs: "60"
        Load,                     // Ohms: "500", or "No Load"
        ColumnCount,              // the columns always there…
        Technician = ColumnCount, // …and after them who made it, when shown (the team's records)
    };
    enum Role
    {
        IdRole = Qt::UserRole + 1, // the record's id; empty for a fetch without a test
        FetchIdRole,               // the kept fetch's id for a fetch without a test, else 0
    };

    explicit RecordTableModel(QObject *parent = nullptr);

    // Shows the records `query` finds, and the fetches without a test it allows; on failure the
    // rows stay as they were. Records once read are kept (a record never changes), so that a
    // search keystroke asks the store only for the ids it finds.
    Result<> load(const RecordStore &store, const RecordQuery &query);
    // Shows `records` and `untested`, in the current sort order.
    void setRows(QList<TestRecord> records, QList<KeptFetch> untested);
    // Shows also those of `records` that are not shown yet (by id), in the current sort order:
    // the team's records beside this computer's. The ids of those added.
    QSet<QString> addRecords(const QList<TestRecord> &records);
    // Whether the last column, Technician, is there (in the view and the CSV file): for the
    // team's records, made on several computers.
    void setTechnicianShown(bool shown);
    bool technicianShown() const { return m_technicianShown; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The text of a cell, as shown.
    QString text(int row, int column) const;
    // The rows shown, in their order, as a CSV file for spreadsheets: UTF-8 with a byte-order
    // mark, CRLF line ends, the header row first; a cell a spreadsheet would take for a formula
    // is written with a leading "'".
    QByteArray csv() const;

private:
    void arrange();

    QString m_poolPath;                // the store whose records m_pool holds
    QHash<QString, TestRecord> m_pool; // every record read from it, by id
    QList<TestRecord> m_records;
    QList<KeptFetch> m_untested;
    QList<int> m_order; // row shown -> index into m_records, then into m_untested
    int m_sortColumn = Recorded;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    bool m_technicianShown = false;
};
