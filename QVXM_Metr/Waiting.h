#pragma once

#include <QWidget>

class QLabel;

// Small window shown while the module balances the bridges: it only asks the operator to wait.
class TWaitingPanel : public QWidget {
    Q_OBJECT

public:
    explicit TWaitingPanel(QWidget *mainWindow);

    QLabel *WatingLMDLabel;

protected:
    void showEvent(QShowEvent *event) override;
};
