#pragma once

#include "LimitProfiles.h"
#include "MeasurementRecord.h"
#include "Settings.h"
#include "TestRecord.h"

#include <QWidget>

#include <array>
#include <optional>

class ChartView;
class MeterSession;
class QAction;
class QComboBox;
class QLabel;
class QPushButton;

// The window "Waveform", `frmWaveform`, where a technician looks closer at the data set shown:
// its samples in kV against µs on the chart widget (sample i at 2·i µs, scaled as the export and
// the printed chart scale them), with the pointer's readout ("Sample 57: 114 µs, 7.31 kV"), two
// cursors and their differences, zoom and "Reset View"; the measures from the samples; a
// reference trace drawn behind, with the differences to it; and the indicative limit check of
// the fetch's data sets against the profile chosen, always under the words "Indicative check,
// not a type test".
//
// It follows the session: whenever the data set shown changes (another one chosen, a fetch, a
// file or record opened) it shows that one, or says that there is none to show. A reference of
// the fetch held is data set k of whatever fetch is held; one from a file or a record stays until
// removed or replaced. The profile chosen is kept in the settings file (Settings::CheckProfile);
// profile files that are not valid are named in the window and left out.
class WaveformWindow : public QWidget
{
    Q_OBJECT

public:
    // The window shows what `session` holds; the session must outlive it.
    explicit WaveformWindow(MeterSession &session, QWidget *parent = nullptr);

    // Data set `index` (0 = data set 1) of the fetch held becomes the reference.
    void compareWithDataSet(int index);
    // A data set of a kept fetch file becomes the reference: the one of the same number as the
    // data set shown, else its first valid one. The file is read on a worker thread;
    // referenceChanged() follows, or a message that says why not.
    void compareWithFile(const QString &path);
    // The data set of a test record becomes the reference; why not, in a message.
    void compareWithRecord(const TestRecord &record);
    void removeReference();

signals:
    void referenceChanged();

private:
    // A reference from a file or a record: its name and its data set.
    struct Reference
    {
        QString name;
        Measurement measurement;
    };

    void createControls();
    // Everything afresh from the session: the title, the chart, the measures, the reference and
    // the check.
    void showDataSet();
    void showCheck();
    std::optional<Reference> reference() const;
    void setReference(std::optional<Reference> reference, std::optional<int> ofFetchHeld);
    void referenceFailed(const QString &message);
    void chooseProfile(int index);
    void askCompareFile();
    void askCompareRecord();
    void updateCompareMenu();

    MeterSession &m_session;
    LimitProfiles m_profiles;
    Settings m_settings;
    std::optional<int> m_referenceSet; // a data set of the fetch held
    std::optional<Reference> m_reference;

    ChartView *m_chart;
    QLabel *lblMeasures;
    QLabel *lblReference;
    QLabel *lblCheck;
    QLabel *lblProfileProblems;
    QComboBox *cmbProfile;
    QPushButton *cmdCompare;
    QPushButton *cmdRemoveReference;
    QPushButton *cmdResetView;
    std::array<QAction *, 4> actCompareDataSet;
    QAction *actCompareFile;
    QAction *actCompareRecord;
};
