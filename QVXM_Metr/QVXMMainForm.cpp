// Construction of the main window: value tables, channel panels, initial texts, bindings.
#include "QVXMMainForm.h"

#include "EntryColors.h"
#include "HandlerBusyGuard.h"
#include "IniFile.h"
#include "LedIndicator.h"
#include "QVXMAdcChannelPanel.h"
#include "ValueTables.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QLocale>
#include <QMenu>

#include <clocale>

// The icon lives in this library's resources, which a static library registers by hand.
static void RegisterIconResource()
{
    Q_INIT_RESOURCE(QVXM_Metr);
}

namespace {

// Text colour of an enabled control; a disabled one keeps the style's greyed text.
void SetTextColor(QWidget *widget, QPalette::ColorRole role, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, role, color);
    palette.setColor(QPalette::Inactive, role, color);
    widget->setPalette(palette);
}

template <std::size_t N>
void FillBox(QComboBox *box, const std::array<double, N> &values, QString (*itemText)(double))
{
    box->clear();
    for (double value : values)
        box->addItem(itemText(value));
    box->setMaxVisibleItems(int(N));
    box->setCurrentIndex(-1);  // filling a list selects nothing
}

} // namespace

TMainForm::TMainForm(QWidget *parent, const QString &settingsPath)
    : QWidget(parent), settingsPathOverride(settingsPath)
{
    ui.setupUi(this);

    HandlerBusy = false;
    StartupStage = 0;
    SelectedCrate = 0xFFFF;

    SetupHints();
    RegisterIconResource();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/APPL_ICON")));
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &TMainForm::ApplicationStateChanged);

    SetInitialTexts();

    FixDecimalSeparator();
    InitDevicesIdle = true;
    StartThreadIdle = true;
    InitDevicesThreadRunning = false;
    MainThreadRunning = false;
    MultimeterStopped = true;
    ThreadPages = {ui.MultimeterLMDTabSheet};
    ThreadPageIndex = 0;
    HandlerBusy = true;

    StyleControls();
    ui.ComputationModeLabLMDLabel->setText(QStringLiteral("---"));
    ui.AmplitudeTypeLabLMDLabel->setText(QStringLiteral("---"));
    ui.SingleChannelAdcRateComboBox->setCurrentIndex(-1);
    ui.MultiChannelAdcRateComboBox->setCurrentIndex(-1);
    ui.AcquisitionTimeLMDLabel->setText(QStringLiteral("-----"));

    BuildValueTables();
    FillValueBoxes();
    ui.AllChannelsLMDCheckBox->setCheckState(Qt::Unchecked);
    ui.CommonInputRangeLMDComboBox->setCurrentIndex(-1);
    ui.CommonComputationMethodLMDComboBox->setCurrentIndex(-1);

    CreateChannelFrames();
    ConnectHandlers();
    SetupPopupMenu();

    ui.MainLMDPageControl->setCurrentIndex(0);
    ApplyLayoutRules();

    HandlerBusy = false;
    StartupStage = 1;
}

TMainForm::~TMainForm()
{
    qApp->removeEventFilter(this);
    WaitForWorkers();
    // A window that was destroyed without being closed still gives its module back.
    CloseModuleIfOpen();
}

QString TMainForm::SettingsPath() const
{
    if (!settingsPathOverride.isEmpty())
        return settingsPathOverride;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Qvxm_Metr.ini"));
}

void TMainForm::FixDecimalSeparator()
{
    // Numbers are written and read with "." whatever the system's locale says.
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_NUMERIC, "C");
}

void TMainForm::SetInitialTexts()
{
    ui.ModuleSerialNumberLMDLabel->setText(QStringLiteral("????????"));
    ui.ModuleFirmwareVersionLMDLabel->setText(QStringLiteral("??.??.??.??"));
    ui.ModuleStatusLed->setToolTip(QStringLiteral("Статус модуля -> ???"));
    ui.GeneratorStatusLed->setToolTip(QStringLiteral("Статус генератора -> ???"));
    ui.VoltmeterStatusLed->setToolTip(QStringLiteral("Статус мультиметра -> ???"));
    InitialCaption = QStringLiteral("QVXM_metr - ?.?.?");
}

void TMainForm::StyleControls()
{
    const QColor navy(0, 0, 128);
    SetTextColor(ui.FindDeviceLMDButton, QPalette::ButtonText, navy);
    SetTextColor(ui.SaveSettingsButton, QPalette::ButtonText, navy);
    SetTextColor(ui.StartMultimeterLMDSpeedButton, QPalette::ButtonText, QColor(0, 128, 0));
    SetTextColor(ui.CompensationLMDSpeedButton, QPalette::ButtonText, QColor(128, 0, 128));

    for (QLabel *field : {ui.VoltmeterValueLMDLabel, ui.VoltmeterRefValueLMDLabel}) {
        QPalette palette = field->palette();
        palette.setColor(QPalette::Window, Qt::black);
        palette.setColor(QPalette::WindowText, QColor(0, 255, 0));
        field->setPalette(palette);
    }
    for (QWidget *entry : std::initializer_list<QWidget *>{
             ui.SignalAmpltudeGeneratorLMDEdit, ui.SignalFrequencyGeneratorLMDEdit,
             ui.SingleChannelAdcRateComboBox, ui.MultiChannelAdcRateComboBox, ui.CurrentValueLMDComboBox})
        EntryColors::SetTextColor(entry, EntryColors::Confirmed);

    GeneratorChannelStateGroup = new QButtonGroup(this);
    GeneratorChannelStateGroup->addButton(ui.GeneratorChannelStateOnRadioButton, 0);
    GeneratorChannelStateGroup->addButton(ui.GeneratorChannelStateOffRadioButton, 1);
    AcDcVoltmeterModeGroup = new QButtonGroup(this);
    AcDcVoltmeterModeGroup->addButton(ui.AcDcVoltmeterModeDcRadioButton, 0);
    AcDcVoltmeterModeGroup->addButton(ui.AcDcVoltmeterModeAcRadioButton, 1);
    AcDcVoltmeterModeGroup->addButton(ui.AcDcVoltmeterModeOffRadioButton, 2);
    ui.AcFilterVoltmeterLMDComboBox->setCurrentIndex(-1);

    OpenFileLMDOpenDialog = new QFileDialog(this);
    OpenFileLMDOpenDialog->setObjectName(QStringLiteral("OpenFileLMDOpenDialog"));
    OpenFileLMDOpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenFileLMDOpenDialog->setFileMode(QFileDialog::ExistingFile);
    SaveFileLMDSaveDialog = new QFileDialog(this);
    SaveFileLMDSaveDialog->setObjectName(QStringLiteral("SaveFileLMDSaveDialog"));
    SaveFileLMDSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    for (QFileDialog *dialog : {OpenFileLMDOpenDialog, SaveFileLMDSaveDialog}) {
        dialog->setNameFilter(QStringLiteral("Настройки поверки (*.cfg);;Все файлы (*)"));
        dialog->setDefaultSuffix(QStringLiteral("cfg"));
    }

    ui.VerificationTextBox->gutter()->setObjectName(QStringLiteral("VerificationTextBoxGutter"));
    ui.VerificationTextBox->gutter()->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TMainForm::BuildValueTables()
{
    InputRanges = ValueTables::InputRanges;
    SingleChannelRates = ValueTables::SingleChannelRates;
    MultiChannelRates = ValueTables::MultiChannelRates;
    SupplyCurrents = ValueTables::SupplyCurrents;
}

void TMainForm::FillValueBoxes()
{
    FillBox(ui.CommonInputRangeLMDComboBox, InputRanges, &ValueTables::CommonRangeItemText);
    FillBox(ui.SingleChannelAdcRateComboBox, SingleChannelRates, &ValueTables::RateItemText);
    FillBox(ui.MultiChannelAdcRateComboBox, MultiChannelRates, &ValueTables::RateItemText);
    FillBox(ui.CurrentValueLMDComboBox, SupplyCurrents, &ValueTables::CurrentItemText);
}

void TMainForm::CreateChannelFrames()
{
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < 8; ++row) {
            const int i = column * 8 + row;
            auto *frame = new TQvxmAdcChannelFrame(ui.AdcIndividualParsLMDSimplePanel, int(InputRanges.size()),
                                                   InputRanges.data(), std::uint16_t(i));
            ChannelFrames[i] = frame;
            frame->setObjectName(ValueTables::ChannelFrameName(i));

            const QRect inner = frame->QvxmAdcChannelLMDSimplePanel->geometry();
            const int width = inner.x() + inner.width();
            const int height = inner.y() + inner.height();
            frame->setGeometry(width * column + 1, height * row + 2, width, height);

            frame->ShowValueFields(true);

            connect(frame->ChannelNumberLMDCheckBox, &QCheckBox::stateChanged, this,
                    [this, frame] { EnaChannelLMDCheckBoxChange(frame->ChannelNumberLMDCheckBox); });
            connect(frame->InputRangeLMDComboBox, &QComboBox::currentIndexChanged, this,
                    [this, frame] { InputRangeLMDComboBoxChange(frame->InputRangeLMDComboBox); });
            connect(frame->ComputationMethodLMDComboBox, &QComboBox::currentIndexChanged, this,
                    [this, frame] { ComputationMethodLMDComboBoxChange(frame->ComputationMethodLMDComboBox); });

            frame->DisablePanel();
            ResetChannelFrame(i);
            frame->setVisible(true);
        }
    }
}

void TMainForm::ConnectHandlers()
{
    connect(ui.StartMultimeterLMDSpeedButton, &QPushButton::clicked, this,
            &TMainForm::StartMultimeterLMDSpeedButtonClick);
    connect(ui.StartVerificationLMDSpeedButton, &QPushButton::clicked, this,
            &TMainForm::StartMultimeterLMDSpeedButtonClick);
    connect(ui.FindDeviceLMDButton, &QPushButton::clicked, this, &TMainForm::FindDeviceLMDButtonClick);
    // Only the operator's choice counts; the discovery steps fill and select without a change.
    connect(ui.QvxCratesComboBox, &QComboBox::activated, this, &TMainForm::QvxCratesComboBoxChange);
    connect(ui.ModulesComboBox, &QComboBox::activated, this, &TMainForm::ModulesComboBoxChange);
    connect(ui.SaveSettingsButton, &QPushButton::clicked, this, &TMainForm::SaveSettingsButtonClick);
    connect(ui.AutoSaveSettingsLMDCheckBox, &QCheckBox::toggled, this, &TMainForm::AutoSaveSettingsLMDCheckBoxChange);
    connect(ui.CfgFileNameEdit, &QLineEdit::textChanged, this, &TMainForm::CfgFileNameEditChange);
    connect(ui.VerifySplitter, &QSplitter::splitterMoved, this, &TMainForm::VerifySplitterMoved);
    ui.MainLMDPageControl->tabBar()->installEventFilter(this);

    for (QWidget *source : std::initializer_list<QWidget *>{this, ui.AdcCoefsStringGrid, ui.DacCoefsStringGrid,
                                                            ui.CurrentCoefsStringGrid,
                                                            ui.VerificationTextBox->gutter()}) {
        source->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(source, &QWidget::customContextMenuRequested, this,
                [this, source](const QPoint &pos) { PopupMenuRequested(source, pos); });
    }
}

void TMainForm::SetupPopupMenu()
{
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->setToolTipsVisible(true);
    PopupMenu->addAction(ui.RebootDeviceMenuItem);
    PopupMenu->setDefaultAction(ui.RebootDeviceMenuItem);
    PopupMenu->addSeparator()->setObjectName(QStringLiteral("BreakLine1"));
    PopupMenu->addAction(ui.SaveDefaultSettings);
    PopupMenu->addAction(ui.SaveCurrentSettings);
    PopupMenu->addSeparator()->setObjectName(QStringLiteral("BreakLine2"));
    PopupMenu->addAction(ui.AboutProgram);
    PopupMenu->addSeparator()->setObjectName(QStringLiteral("BreakLine3"));
    PopupMenu->addAction(ui.ApplicationExit);
    // The short-cuts work with the menu closed, anywhere in the window.
    for (QAction *action : {ui.RebootDeviceMenuItem, ui.SaveDefaultSettings, ui.SaveCurrentSettings,
                            ui.AboutProgram, ui.ApplicationExit}) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    connect(ui.SaveDefaultSettings, &QAction::triggered, this, &TMainForm::SaveDefaultSettingsClick);
    connect(ui.SaveCurrentSettings, &QAction::triggered, this, &TMainForm::SaveCurrentSettingsClick);
    connect(ui.ApplicationExit, &QAction::triggered, this, &TMainForm::ApplicationExitClick);
}

void TMainForm::PopupMenuRequested(QWidget *source, const QPoint &pos)
{
    PopupMenu->popup(source->mapToGlobal(pos));
}
