#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>

class TMainForm;

// Crate serial number and slot (1..16, -1 when none is known) of the module to open.
struct ModuleLocation {
    QString CrateSerial;
    std::int16_t Slot = -1;
};

// Discovery and initialisation worker: one run per request; it deletes itself through the
// main window's end notification. Every step that touches the window runs on the GUI thread.
class TInitAndConfigThread : public QThread {
    Q_OBJECT

public:
    TInitAndConfigThread(TMainForm *form, std::uint16_t mode, bool readStored);

    std::atomic<bool> Terminated{false};
    const std::uint16_t Mode;
    const bool ReadStored;
    ModuleLocation Location;
    QString OpenedModuleName;
    bool MessageShown = false;
    QString MessageText;
    int DialogResult = 0;

protected:
    void run() override { Execute(); }

private:
    void Execute();
    // GUI steps.
    void Prepare();
    void ShowStatus(bool done);
    void Finish();

    // Runs `step` on the GUI thread and returns once it has run there.
    template <class Step> void Synchronize(Step &&step);

    TMainForm *const Form;
};
