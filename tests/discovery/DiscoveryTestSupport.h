#pragma once

// A main window per test with its own simulator, settings file and a watcher that answers
// the modal dialogs the discovery runs open.

#include "IniFile.h"
#include "MessageDialog.h"
#include "QVXMMainForm.h"
#include "Scenario.h"
#include "SettingsKeys.h"
#include "SimServer.h"
#include "StoredSettings.h"
#include "qvxcommon.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace disctest {

inline const QString Crate1 = QStringLiteral("QVX-2301");
inline const QString Crate2 = QStringLiteral("QVX-2417");

// What a message dialog looked like while it was open.
struct ShownDialog {
    QString caption;
    QString text;
    QString buttonText;
    QColor background;
    QColor textColor;
    int width = 0;
    int pointSize = 0;
    bool buttonCentred = false;
    bool shortCutHookEnabled = true;
};

// Answers every modal dialog: the workers' message dialog with its button, other message
// boxes with their default. Records what it answered.
class DialogWatcher : public QObject {
public:
    explicit DialogWatcher(TMainForm *form) : form_(form)
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { answer(); });
        timer_.start();
    }
    QList<ShownDialog> dialogs;
    QStringList boxes;

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (modal->objectName() == MessageDialogNames::Dialog) {
            ShownDialog shown;
            shown.caption = modal->windowTitle();
            if (auto *text = modal->findChild<QLabel *>(MessageDialogNames::Text))
                shown.text = text->text();
            shown.background = modal->palette().color(QPalette::Window);
            shown.textColor = modal->palette().color(QPalette::WindowText);
            shown.width = modal->width();
            shown.pointSize = modal->font().pointSize();
            shown.shortCutHookEnabled = form_->ShortCutHookEnabled;
            auto *button = modal->findChild<QPushButton *>(MessageDialogNames::ButtonPrefix + QStringLiteral("0"));
            if (button) {
                shown.buttonText = button->text();
                const QRect g = button->geometry();
                shown.buttonCentred = std::abs(g.left() + g.right() + 1 - modal->width()) <= 1;
            }
            dialogs.append(shown);
            if (button)
                button->click();
            else
                modal->close();
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes.append(box->text());
            box->done(QMessageBox::Ok);
        }
    }

    TMainForm *form_;
    QTimer timer_;
};

// The longest time the GUI thread went without serving a timer, from start() on.
class ResponsivenessMeter : public QObject {
public:
    ResponsivenessMeter()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            maxGapMs = std::max(maxGapMs, clock_.restart());
            ++ticks;
        });
    }
    void start()
    {
        maxGapMs = 0;
        ticks = 0;
        clock_.start();
        timer_.start();
    }
    void stop() { timer_.stop(); }
    qint64 maxGapMs = 0;
    int ticks = 0;

private:
    QTimer timer_;
    QElapsedTimer clock_;
};

inline std::unique_ptr<qvxsim::SimServer> startServer(qvxsim::Scenario scenario = qvxsim::Scenario::builtIn())
{
    qvxsim::SimOptions options;
    options.fast = true;
    auto server = std::make_unique<qvxsim::SimServer>(std::move(scenario), options);
    if (!server->start())
        return nullptr;
    QVX_SetServerPortOverride(server->port());
    return server;
}

// A port on which nothing listens.
inline uint16_t deadPort()
{
    qvxsim::SimServer probe;
    if (!probe.start())
        return 1;
    const uint16_t port = probe.port();
    probe.stop();
    return port;
}

// A settings file with the defaults and a remembered crate, slot and window position.
inline void writeSettings(const QString &path, const QString &crate, int slot, int top = -1, int left = -1)
{
    IniFile ini(path);
    writeDefaultApplicationSettings(ini);
    writeDefaultModuleSettings(ini);
    ini.writeString(SettingsKeys::DiscoverySection, SettingsKeys::CrateSerial, crate);
    ini.writeInteger(SettingsKeys::DiscoverySection, SettingsKeys::ModuleSlot, slot);
    ini.writeInteger(SettingsKeys::GeneralSection, SettingsKeys::WindowTop, top);
    ini.writeInteger(SettingsKeys::GeneralSection, SettingsKeys::WindowLeft, left);
    ini.flush();
}

// A requested discovery run has ended (the request itself was made before).
inline bool runOver(const TMainForm &form)
{
    return form.InitDevicesIdle && form.InitAndConfigThread == nullptr && !form.InitDevicesThreadRunning;
}

inline QStringList items(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

} // namespace disctest
