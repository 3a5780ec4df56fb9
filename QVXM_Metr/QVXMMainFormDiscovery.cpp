// The discovery tables' rules and the crate and module selectors.
#include "QVXMMainForm.h"

#include "HandlerBusyGuard.h"

void TMainForm::ResetDiscoveryState()
{
    CrateListValid = 0;
    ModuleState = 0;
}

bool TMainForm::HasSelectedModule() const
{
    return SelectedCrate < QvxmCrateCount && SelectedCrate < QVX_MAX_CRATES
           && SelectedModule[SelectedCrate] < QvxmModuleCount[SelectedCrate]
           && SelectedModule[SelectedCrate] < QVX_SLOT_COUNT;
}

void TMainForm::QvxCratesComboBoxChange()
{
    HandlerBusyGuard guard(HandlerBusy);
    if (!guard)
        return;
    const int index = ui.QvxCratesComboBox->currentIndex();
    if (index < 0 || index == SelectedCrate)
        return;
    StopThread();
    SelectedCrate = std::uint16_t(index);
    StartInitDevicesThread(dmCrateChanged, false);
}

void TMainForm::ModulesComboBoxChange()
{
    HandlerBusyGuard guard(HandlerBusy);
    if (!guard)
        return;
    const int crate = ui.QvxCratesComboBox->currentIndex();
    const int module = ui.ModulesComboBox->currentIndex();
    if (crate < 0 || crate >= QvxmCrateCount || module < 0 || module >= QvxmModuleCount[crate])
        return;
    const QvxSerial &serial = QvxmModuleSerials[crate][module];
    const QString chosen = QString::fromLatin1(serial.data(), qstrnlen(serial.data(), serial.size()));
    // The module already shown stays open as it is.
    if (chosen == ui.ModuleSerialNumberLMDLabel->text())
        return;
    StopThread();
    if (SelectedCrate < QVX_MAX_CRATES)
        SelectedModule[SelectedCrate] = std::uint16_t(module);
    StartInitDevicesThread(dmModuleChanged, false);
}
