// Form1 as a screen reader finds it: what it says of the window, of each
// bar and of the plot, and the result said once when it changes.
#include "window/form1.h"

#include "window/accessibility.h"
#include "window/scrollbar.h"

#include <QLabel>

namespace {

// Sets a widget's accessible description, and tells a screen reader only
// when it changed: one that speaks a change of the focused control's
// description then says a new result once, and nothing while it stays.
void describe(QWidget *widget, const QString &description)
{
    if (widget->accessibleDescription() != description)
        widget->setAccessibleDescription(description);
}

} // namespace

// Each bar is named by its caption, through the caption's buddy, and
// described by its unit, which a screen reader speaks after its value; the
// readouts are the numbers they show, so that reading the window line by
// line finds caption, number and unit once each.
void Form1::describeForScreenReaders()
{
    setAccessibleDescription(QStringLiteral(
        "Correlatore a clipping: la correlazione in funzione del ritardo, ridisegnata ogni secondo, "
        "e il suo valore a ritardo zero, C (0)."));
    Label4->setBuddy(VScroll1);
    Label8->setBuddy(HScroll1);
    describe(VScroll1, Label12->text());
    describe(HScroll1, Label11->text());
    plot_ = new WindowPart(this, QStringLiteral("plot"), QAccessible::Chart, QStringLiteral("Grafico della correlazione"));
    plot_->setArea(plotArea());
    announcement_ = new WindowPart(this, QStringLiteral("announcement"), QAccessible::Notification, QString());
}

// After a tick: a new result is said once; each bar's description tells
// its unit and the result, which a screen reader speaks after the bar's
// value, on focus and when asked where the focus is; the plot tells where
// the curve peaks and how high.
void Form1::tellScreenReaders()
{
    const QString result = Label15->text() + u' ' + Label14->text();
    // The first result is not news: a focused bar tells it.
    if (Label14->text() != previousResult_ && !previousResult_.isNull())
        announcement_->announce(result);
    previousResult_ = Label14->text();
    describe(VScroll1, Label12->text() + QStringLiteral(", ") + result);
    describe(HScroll1, Label11->text() + QStringLiteral(", ") + result);
    QString curve = QStringLiteral("Picco a %1 %2, altezza %3").arg(Label9->text(), Label11->text(), Label14->text());
    if (const QString quantization = quantizationText(tracedQuantization_); !quantization.isEmpty())
        curve += QStringLiteral("; ") + quantization;
    if (!simulated_.empty())
        curve += QStringLiteral("; %1 stime simulate attorno alla curva").arg(simulated_.size());
    plot_->setDescription(curve + u'.');
    plot_->setArea(plotArea());
}
