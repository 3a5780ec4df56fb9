#pragma once

#include "ui_QVXMMainForm.h"

#include "qvxapi.h"
#include "qvxmapi.h"

#include <QEvent>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class IniFile;
class QButtonGroup;
class QFileDialog;
class QMenu;
class TInitAndConfigThread;
class TMainThread;
class TQvxmAdcChannelFrame;
class TWaitingPanel;

// Events the window posts to itself.
inline constexpr QEvent::Type MSG_START_INIT_DEVICES_THREAD = QEvent::Type(1124);
inline constexpr QEvent::Type MSG_START_MAIN_THREAD = QEvent::Type(1125);
inline constexpr QEvent::Type MSG_COMBOBOX_CHANGE_TEXT = QEvent::Type(1174);

// A posted window message with its two parameters.
class TMainFormMessage : public QEvent {
public:
    TMainFormMessage(Type type, qintptr wParam, qintptr lParam) : QEvent(type), WParam(wParam), LParam(lParam) {}
    const qintptr WParam;
    const qintptr LParam;
};

// Discovery modes of the discovery worker.
enum TDiscoveryMode : std::uint16_t { dmModuleChanged = 1, dmCrateChanged = 2, dmFullSearch = 3 };

inline constexpr int ChannelCount = 16;

// The main window: owns all run-time state, starts and stops the workers and binds the
// operator's controls. Its implementation is split by concern over QVXMMainForm*.cpp.
class TMainForm : public QWidget {
    Q_OBJECT

public:
    // `settingsPath` empty: the settings file "Qvxm_Metr.ini" beside the program.
    explicit TMainForm(QWidget *parent = nullptr, const QString &settingsPath = QString());
    ~TMainForm() override;

    // The controls by their names; the workers' GUI steps reach them here.
    Ui::MainForm ui;
    QMenu *PopupMenu = nullptr;
    QButtonGroup *GeneratorChannelStateGroup = nullptr;
    QButtonGroup *AcDcVoltmeterModeGroup = nullptr;
    QFileDialog *OpenFileLMDOpenDialog = nullptr;
    QFileDialog *SaveFileLMDSaveDialog = nullptr;
    // Null once the panel is gone, so the window never reaches it while it is torn down.
    QPointer<TWaitingPanel> WaitingPanel;

    // Controller state. The three atomics are written by the workers.
    bool HandlerBusy = true;
    bool InitDevicesIdle = true;
    bool StartThreadIdle = true;
    std::atomic<bool> InitDevicesThreadRunning{false};
    std::atomic<bool> MainThreadRunning{false};
    std::atomic<bool> MultimeterStopped{true};
    QList<QWidget *> ThreadPages;
    int ThreadPageIndex = 0;
    TMainThread *MainThread = nullptr;
    TInitAndConfigThread *InitAndConfigThread = nullptr;
    // Off while a worker's message dialog is open: ESC then goes to the dialog alone.
    bool ShortCutHookEnabled = true;
    // The window was closed while a discovery run held the module record.
    bool CloseModuleAfterDiscovery = false;

    // Construction state.
    std::uint8_t StartupStage = 0;
    QString InitialCaption;
    std::array<TQvxmAdcChannelFrame *, ChannelCount> ChannelFrames{};
    int OsVersionCode = 0;
    bool HintWindowFound = false;
    std::array<double, 2> InputRanges{};
    std::array<double, 8> SingleChannelRates{};
    std::array<double, 5> MultiChannelRates{};
    std::array<double, 6> SupplyCurrents{};

    // The module record; the discovery steps, the workers and the close steps use it in turn.
    TQVXM Qvxm{};

    // Discovery tables, kept between runs. Serial numbers are zero-terminated within 16 bytes.
    using QvxSerial = std::array<char, QVX_SERIAL_LEN>;
    static constexpr std::uint16_t NoCrate = 0xFFFF;
    std::uint16_t CrateCount = 0;
    std::array<QvxSerial, QVX_MAX_CRATES> CrateSerials{};
    std::array<std::array<std::uint16_t, QVX_SLOT_COUNT>, QVX_MAX_CRATES> CrateModuleIds{};
    std::uint16_t QvxmCrateCount = 0;
    std::array<QvxSerial, QVX_MAX_CRATES> QvxmCrateSerials{};
    std::array<std::uint16_t, QVX_MAX_CRATES> QvxmModuleCount{};
    std::array<std::array<std::uint16_t, QVX_SLOT_COUNT>, QVX_MAX_CRATES> QvxmSlots{};
    std::array<std::array<QvxSerial, QVX_SLOT_COUNT>, QVX_MAX_CRATES> QvxmModuleSerials{};
    std::uint16_t SelectedCrate = NoCrate;
    std::array<std::uint16_t, QVX_MAX_CRATES> SelectedModule{};
    // Both are written by the discovery worker as well.
    std::atomic<std::int32_t> CrateListValid{0};
    // 0 nothing, 1 a QVXM crate was found and its selected module answered, 2 the module is open.
    std::atomic<std::uint8_t> ModuleState{0};

    // CrateListValid and ModuleState back to 0.
    void ResetDiscoveryState();
    // The selected crate and its selected module index into the tables.
    bool HasSelectedModule() const;
    // QVXM_Close when QVXM_IsOpened reports an open module record.
    void CloseModuleIfOpen();
    // Selector handlers.
    void QvxCratesComboBoxChange();
    void ModulesComboBoxChange();

    // Path of the settings file.
    QString SettingsPath() const;

    // Settings file: the window's file object and the values the file fills.
    std::unique_ptr<IniFile> SettingsFile;
    QString CalcMethod = QStringLiteral("fft");
    QString AmplitudeType = QStringLiteral("rms");
    double MaxAcqTime = 1.0;
    // Display precision and format per kind (0 DC, 1 AC, 2 frequency) and input range.
    std::array<std::array<std::uint16_t, 2>, 3> Precisions{{{4, 4}, {4, 4}, {4, 4}}};
    std::array<std::array<QString, 2>, 3> DisplayFormats{{{QStringLiteral("0.0000"), QStringLiteral("0.0000")},
                                                          {QStringLiteral("0.0000"), QStringLiteral("0.0000")},
                                                          {QStringLiteral("0.0000"), QStringLiteral("0.0000")}}};
    std::int32_t CoefficientSource = 0;

    // Settings operations.
    bool CreateDefaultIniFile(const QString &path);
    void SaveIniFile(const QString &path);
    // `file` is an open settings file; false when none is given.
    bool LoadIniFile(IniFile *file);
    void SaveSettingsButtonClick();
    void AutoSaveSettingsLMDCheckBoxChange();
    void SaveDefaultSettingsClick();
    void SaveCurrentSettingsClick();

    // Controller operations.
    void StartInitDevicesThread(int mode, bool readStored);
    void StartThread();
    void StopThread();

    // Operations on groups of controls.
    void UpdateStartButton();
    void ResetChannelFrame(int channelIndex);
    void SetControlsEnabled(QWidget *container, bool enabled);
    void EnableChannelFrames();

    // Operator handlers.
    void StartMultimeterLMDSpeedButtonClick();
    void FindDeviceLMDButtonClick();
    void ApplicationExitClick();
    // False when the change to page `newIndex` is cancelled.
    bool MainLMDPageControlChanging(int newIndex);
    // True when the key is consumed.
    bool ApplicationShortCut(int key);
    // True when the wheel turn over `underCursor` was handled here.
    bool MainFormMouseWheel(QWidget *underCursor, bool wheelUp);

    struct HintDecision {
        bool Show = true;
        int ReshowTimeout = 0;
        int HideTimeout = 2000;
        QRect Rect;
    };
    // What to do with the hint of `control` shown at `cursorPos` (global coordinates).
    HintDecision ApplicationShowHint(QWidget *control, const QString &text, const QPoint &cursorPos) const;
    QRect WorkArea() const;

    // Per-channel handlers, bound to every channel panel.
    void EnaChannelLMDCheckBoxChange(QObject *sender);
    void InputRangeLMDComboBoxChange(QObject *sender);
    void ComputationMethodLMDComboBoxChange(QObject *sender);
    // Replaces the text of a rate or current box by the nearest realisable value.
    void OnComboBoxChangeText(QObject *sender, qintptr lParam);

    // Verification page.
    void CfgFileNameEditChange();
    void VerifySplitterMoved();

    // Sleeps 50 ms and processes all pending events until `done` holds; the workers' GUI
    // steps run inside.
    static void WaitUntil(const std::function<bool()> &done);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Construction.
    void BuildValueTables();
    void FillValueBoxes();
    void CreateChannelFrames();
    void ConnectHandlers();
    void SetupPopupMenu();
    void SetupHints();
    void SetInitialTexts();
    void StyleControls();
    void ApplyLayoutRules();
    void LayoutNow();
    bool ChannelAreaNeedsScrollBar() const;
    void FixDecimalSeparator();
    void ApplicationStateChanged(Qt::ApplicationState state);

    // Start-up stages.
    void StartupShow();
    void StartupResize();

    // Controller.
    void OnStartInitDevicesThread(int mode, int readStored);
    void OnStartMainThread();
    void InitAndConfigThreadTerminated();
    void MainThreadTerminated();
    void WaitForWorkers();

    // Close steps that need the settings file and the module.
    void SaveSettingsOnClose();
    void DeleteSettingsFile();
    void PopupMenuRequested(QWidget *source, const QPoint &pos);

    // False when the control has no hint of its own and its parent's hint applies.
    bool ShowHint(QWidget *control, const QPoint &cursorPos);

    QString settingsPathOverride;
    QTimer hintReshowTimer;
    QPointer<QWidget> hintControl;
    QPoint hintCursor;
};
