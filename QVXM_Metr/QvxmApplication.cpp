#include "QvxmApplication.h"

#include <QMessageBox>

#include <exception>

QvxmApplication::QvxmApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool QvxmApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowException(QStringLiteral("Неизвестное исключение"));
    }
    return false;
}

void QvxmApplication::ShowException(const QString &what)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), what, QMessageBox::Ok);
    box.exec();
}
