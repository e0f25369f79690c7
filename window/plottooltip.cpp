#include "window/plottooltip.h"

#include "model/correlation.h"
#include "plot/readout.h"
#include "plot/tick.h"
#include "window/form1.h"

#include <QHelpEvent>
#include <QLocale>
#include <QToolTip>

#include <algorithm>
#include <cmath>

PlotToolTip::PlotToolTip(Form1 *form)
    : QObject(form), form_(form)
{
    form_->setMouseTracking(true);
    form_->installEventFilter(this);
}

// The numbers as the readouts write them: plain digits and the locale's
// separator.
QString PlotToolTip::textAt(QPoint position) const
{
    const QRect plot = form_->plotArea();
    if (!plot.contains(position))
        return {};
    const Form1::Shown shown = form_->shown();
    const double twips = form_->twipsPerPixel();
    const double lag = std::clamp(((position.x() - form_->origin().x()) * twips - plot::trace::kOriginX)
                                      / plot::trace::kTwipsPerMicrosecond,
                                  plot::trace::kFirstLagUs, plot::trace::kLastLagUs);
    // The traced lag nearest to it: never the delay itself, where the
    // model's formula is 0 / 0.
    const double traced = plot::trace::kFirstLagUs
                          + std::round((lag - plot::trace::kFirstLagUs) / plot::trace::kLagStepUs) * plot::trace::kLagStepUs;
    const QString separator = QLocale::system().decimalPoint();
    const auto readout = [&](double value) {
        return QString::fromStdString(plot::zeroLagText(value, separator.toStdString()));
    };
    // The value of the curve drawn, whatever its quantizer.
    const double value = model::correlationAt(traced, shown.settings.delayUs,
                                              model::correlationGain(shown.settings.snrDb), shown.quantization);
    QString text = QStringLiteral("τ = %1 µs   C = %2")
                       .arg(QString::number(lag, 'f', 1).replace(u'.', separator), readout(value));
    if (!shown.simulated.empty()) {
        const auto k = std::size_t(std::lround(lag / plot::kSimulatedLagStepUs));
        if (k < shown.simulated.size())
            text += QStringLiteral("   stima a %1 µs = %2")
                        .arg(QString::number(double(k) * plot::kSimulatedLagStepUs, 'f', 0),
                             readout(shown.simulated[k]));
    }
    return text;
}

bool PlotToolTip::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != form_ || event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    const auto *help = static_cast<QHelpEvent *>(event);
    QString text;
    try {
        text = textAt(help->pos());
    } catch (...) {
        // A value the model cannot give is no value to show.
    }
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, form_);
    }
    return true;
}
