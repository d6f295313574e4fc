#pragma once

#include "FetchFile.h"
#include "ReferenceRecords.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// "Compare With a Test Record", `frmChooseRecord`: the test records a reference can come from,
// searched on a worker thread (ReferenceRecords::find). It opens with the other records of the
// energizer whose record the data set shown came from, or the newest records; the technician can
// search by energizer serial, model or customer (Enter). "Compare" or a double click on a record
// chooses it: chosen() follows, and the dialog closes. A store that cannot be read is said in the
// dialog.
class RecordChooser : public QDialog
{
    Q_OBJECT

public:
    // Data set `index` of `fetch` is the one shown; the records are read from `storePath`.
    RecordChooser(const QString &storePath, const FetchRecord &fetch, int index,
                  QWidget *parent = nullptr);

signals:
    void chosen(const TestRecord &record);

private:
    void search(const QString &text);
    void found(const Result<ReferenceRecords::Found> &found);
    void choose();

    QString m_storePath;
    FetchRecord m_fetch;
    int m_index;
    int m_searches = 0; // only the answer to the last search counts
    QList<TestRecord> m_records;
    QLabel *lblFound;
    QLineEdit *txtSearch;
    QListWidget *lstRecords;
    QPushButton *cmdCompare;
};
