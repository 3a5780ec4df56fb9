#pragma once

#include <QString>
#include <QThread>

#include <array>
#include <atomic>

class TMainForm;

// Acquisition worker: one multimeter run from START to the stop that the main window asks for.
// It never ends on its own; the main window terminates and deletes it.
class TMainThread : public QThread {
    Q_OBJECT

public:
    TMainThread(TMainForm *form, int threadPageIndex);

    // Stop request; also the abort flag of the window generator and the transform.
    std::atomic<bool> Terminated{false};
    // Set by the report step; any step that sees it ends the run.
    std::atomic<bool> ErrorFlag{false};

    QString ReportText;
    int DialogResult = 0;
    double MaxAcqTime = 1.0;
    QString CalcMethod;
    QString AmplitudeType;
    std::array<int, 16> ChannelMethod{};
    std::array<int, 16> ChannelRange{};

protected:
    void run() override { Execute(); }

private:
    void Execute();
    void RunMultimeter();
    // GUI steps.
    void BeginRunUi();
    void EndRunUi();

    template <class Step> void Synchronize(Step &&step);

    TMainForm *const Form;
    const int ThreadPageIndex;
    // Page shown when the run was requested; the multimeter page is 0.
    const int PageAtStart;
};
