#pragma once

#include <QApplication>

// The application object: an exception that escapes an event handler is shown in a message
// box and the event loop goes on.
class QvxmApplication : public QApplication {
    Q_OBJECT

public:
    QvxmApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    // The box that reports an exception that nothing else caught.
    static void ShowException(const QString &what);
};
