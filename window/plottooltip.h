// Over the plot, a tooltip with the lag under the pointer and the curve's
// value there, in the readout's format; with the simulation, the estimate
// nearest to it.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

class Form1;

class PlotToolTip : public QObject {
    Q_OBJECT

public:
    explicit PlotToolTip(Form1 *form);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString textAt(QPoint position) const;

    Form1 *form_;
};
