// Program entry: screen check, the main window, the waiting panel and the event loop.
#include "QVXMMainForm.h"
#include "QvxmApplication.h"
#include "Waiting.h"

#include <QMessageBox>
#include <QScreen>

#include <exception>

int main(int argc, char *argv[])
{
    QvxmApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("QVXM_Metr"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(QVXM_VERSION_MAJOR)
                                                .arg(QVXM_VERSION_MINOR)
                                                .arg(QVXM_VERSION_PATCH));
    try {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QSize size = screen ? screen->size() : QSize();
        if (size.width() >= 1280 && size.height() >= 768) {
            TMainForm mainForm;
            TWaitingPanel waitingPanel(&mainForm);
            mainForm.WaitingPanel = &waitingPanel;
            mainForm.show();
            QvxmApplication::exec();
        } else {
            QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ошибка!!!"),
                            QStringLiteral("Разрешение монитора должно быть не ниже 1280x768!"), QMessageBox::Ok);
            box.exec();
        }
    } catch (const std::exception &error) {
        QvxmApplication::ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        QvxmApplication::ShowException(QStringLiteral("Неизвестное исключение"));
    }
    return 0;
}
