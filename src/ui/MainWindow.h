#pragma once

#include "measurement/DataSets.h"
#include "measurement/MeasurementRecord.h"
#include "measurement/ReportValues.h"

#include <QWidget>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class FetchProgress;
class FetchSequence;
class MeterPort;
class PortComboBox;
class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class RetainedCanvas;

// The main window, `frmMain`: port choice, fetch, data-set choice, the values and the waveform
// of the data set shown, and the print button. Controls sit at fixed positions; the window
// cannot be resized.
//
// Port states: closed (the port frame usable, "Fetch Data" greyed out) until "Set Port" opens
// the port; open until the program ends or the line fails, which closes the port, tells the
// operator and returns to the closed state.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    // `replyWait` is the wait after each command of a fetch; tests may shorten it.
    explicit MainWindow(std::chrono::milliseconds replyWait = std::chrono::milliseconds(1000),
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    // Decodes data set `index` (0 = data set 1) and shows it: the value labels, the waveform and
    // the report values change together, or, when the record is not valid, nothing changes.
    void ShowData(int index);
    // Draws the samples of the data set shown on the cleared waveform area.
    void Plot();

    // What the printed report reads: the data set shown last.
    const ReportValues &reportValues() const { return report_; }
    bool isFetching() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void setKeyboardOrder();
    void connectDevice();

    void cmdSetPort_Click();
    void cmdFetch_Click();
    void cmdPrint_Click();
    void endFetch();
    void portFailed(const QString &message);
    void showCommPortError(const QString &message);
    void exportDataSet();
    void saveWaveformImage();
    void askFileName(const char *name, const QString &title, const QString &suggestedName,
                     const QString &filter, std::function<void(const QString &)> write);
    void showExportError(const QString &message);

    MeterPort *cm;
    FetchSequence *fetch_;
    std::unique_ptr<FetchProgress> frmFetch; // a window of its own, owned by no window

    DataSets dataSets_;
    Measurement::Samples Samples{};    // samples of the data set shown
    std::optional<Measurement> shown_; // the data set shown, for export
    int shownIndex_ = 0;               // its number, 0 = data set 1
    ReportValues report_;

    QPushButton *cmdClose;
    QGroupBox *FrameUtility;
    QPushButton *cmdPrint;
    std::array<QRadioButton *, DataSets::Count> optData;
    QButtonGroup *optDataGroup;
    QGroupBox *Frame1;
    RetainedCanvas *pic;
    QAction *actExportCsv; // context menu of the waveform area, usable once a data set is shown
    QAction *actSaveImage;
    QLabel *lblSN;
    QLabel *lblModel;
    QLabel *lblInterval;
    QLabel *lblPulseWidth;
    QLabel *lblVoltage;
    QLabel *lblEnergy;
    QLabel *lblLoad;
    QGroupBox *FrameFetch;
    QPushButton *cmdFetch;
    QGroupBox *FrameSet;
    QPushButton *cmdSetPort;
    PortComboBox *cmbPort;
    QLabel *Label1;
    QLabel *Image1;
    QLabel *Label6;
};
