#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>

class IniFile;
class TMainForm;

// Crate serial number and slot (1..16, -1 when none is known) of the module to open.
struct ModuleLocation {
    QString CrateSerial;
    std::int16_t Slot = -1;
};

// Discovery and initialisation worker: one run per request; it deletes itself through the
// main window's end notification. It finds the crates and their QVXM modules, fills the
// selectors, opens the chosen module and applies the stored settings. Every step that touches
// the window, the settings file or the crate search runs on the GUI thread.
class TInitAndConfigThread : public QThread {
    Q_OBJECT

public:
    TInitAndConfigThread(TMainForm *form, std::uint16_t mode, bool readStored);
    ~TInitAndConfigThread() override;

    std::atomic<bool> Terminated{false};
    const std::uint16_t Mode;
    const bool ReadStored;
    ModuleLocation Location;
    QString OpenedModuleName;
    bool MessageShown = false;
    // The run's own settings file, used on the GUI thread only.
    std::unique_ptr<IniFile> SettingsFile;
    QString MessageText;
    int DialogResult = 0;

    // Path of the settings file and the address of the crate server as the libraries get it.
    static constexpr std::uint32_t ServerAddress = 0x7F000001u;
    static constexpr std::uint16_t ServerPort = 11111;

protected:
    void run() override { Execute(); }

private:
    void Execute();

    // GUI steps.
    void Prepare();
    void RestoreWindowPosition();
    void SearchCrates();
    void RefillModuleList();
    void ShowStatus(bool done);
    void ShowMessage();
    void ApplySettings();
    void Finish();

    // Parts of the GUI steps.
    bool OpenSettingsFile();
    void ReadLocation();
    bool FindModules();
    bool ListCrates();
    void FillModuleList();

    // Worker thread.
    bool OpenSelectedModule();

    // Runs `step` on the GUI thread and returns once it has run there; an exception that
    // escapes the step is thrown again here.
    template <class Step> void Synchronize(Step &&step);
    // Runs a library call of a GUI step on a helper thread and serves the window's events
    // until it returns, so that a server that answers late does not freeze the window.
    template <class Call> auto ServeEventsDuring(Call &&call);

    TMainForm *const Form;
    bool CursorOverridden = false;
};
