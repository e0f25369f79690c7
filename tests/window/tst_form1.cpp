#include "curveextent.h"
#include "model/correlation.h"
#include "plot/frame.h"
#include "plot/imagesurface.h"
#include "scrollbarpart.h"
#include "window/actions.h"
#include "window/backgroundsimulation.h"
#include "window/form1.h"

#include <QAction>
#include <QExposeEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

#include <optional>

namespace {

// For what must come, however busy the machine: well within the test's
// timeout, so that a row that waits in vain fails and says for what.
// (QTRY_ would wait thrice as long before failing: QTest::qWaitFor.)
constexpr int kPatienceMs = 15000;

QImage bareFrame(const Form1 &form)
{
    plot::ImageSurface surface(form.surfaceImage().size(), 15, form.palette().color(QPalette::Window));
    plot::drawFrame(surface);
    return surface.image();
}


} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowAndScale();
    void labels_data();
    void labels();
    void scrollBars_data();
    void scrollBars();
    void verticalBarMinimumIsAtTheTop();
    void focus();
    void initialPicture();
    void recompute_data();
    void recompute();
    void peakFollowsTheDelay_data();
    void peakFollowsTheDelay();
    void repeatedRecomputeIsIdentical();
    void barChangeWaitsForTheTick();
    void tickRecomputes();
    void repaintRequestErasesTheCurve();
    void squaresFollowTheBars_data();
    void squaresFollowTheBars();
    void simulationFromTheMenu();
    void squaresFollowTheQuantizer();
    void fullScreenKey_data();
    void fullScreenKey();
    void closingWhileAFigureIsWritten();
    void guideKeepsOptionsWhole();
    void resizingMovesNothing_data();
    void resizingMovesNothing();
    void failureEndsTheProgram_data();
    void failureEndsTheProgram();

private:
    QScrollBar *bar(const char *name) const { return form->findChild<QScrollBar *>(name); }
    QLabel *label(const char *name) const { return form->findChild<QLabel *>(name); }
    QTimer *timer() const { return form->findChild<QTimer *>("Timer1"); }

    std::optional<Form1> form;
};

void TestForm1::init()
{
    form.emplace();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(&*form));
}

void TestForm1::cleanup()
{
    form.reset();
}

void TestForm1::windowAndScale()
{
    QCOMPARE(form->windowTitle(), QString("Form1"));
    QCOMPARE(form->twipsPerPixel(), 15.0);
    // Room for the whole layout, 11415 x 10335 twips, and a margin.
    QVERIFY(form->width() >= 761 + 8);
    QVERIFY(form->height() >= 689 + 8);
    const QList<QWidget *> children = form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), 18);
    for (QWidget *child : children)
        QVERIFY2(form->rect().contains(child->geometry()), qPrintable(child->objectName()));
    QCOMPARE(timer()->objectName(), QString("Timer1"));
}

void TestForm1::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QRect>("box"); // pixels at 96 dpi
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("autoSize");
    QTest::addColumn<bool>("rightAligned");
    QTest::addColumn<double>("points");

    QTest::newRow("Label15") << "Label15" << -1 << QRect(504, 528, 65, 33) << "C (0) =" << false << false << 13.5;
    QTest::newRow("Label14") << "Label14" << -1 << QRect(584, 528, 7, 24) << "" << true << false << 13.5;
    QTest::newRow("Label13(1)") << "Label13" << 1 << QRect(640, 416, 63, 24) << "- C (r*)" << true << false << 13.5;
    QTest::newRow("Label13(0)") << "Label13" << 0 << QRect(640, 0, 68, 24) << "+ C (r*)" << true << false << 13.5;
    QTest::newRow("Label12") << "Label12" << -1 << QRect(448, 488, 41, 25) << "dB" << false << false << 13.5;
    QTest::newRow("Label11") << "Label11" << -1 << QRect(192, 592, 95, 24) << "microSec." << true << false << 13.5;
    QTest::newRow("Label10") << "Label10" << -1 << QRect(592, 448, 134, 24) << "300 microSec." << true << false << 13.5;
    QTest::newRow("Label1") << "Label1" << -1 << QRect(0, 432, 25, 25) << "0" << false << false << 13.5;
    QTest::newRow("Label9") << "Label9" << -1 << QRect(112, 592, 65, 25) << "" << false << true << 13.5;
    QTest::newRow("Label8") << "Label8" << -1 << QRect(40, 488, 222, 24) << "Ritardo tra i due segnali" << true << false << 13.5;
    QTest::newRow("Label7") << "Label7" << -1 << QRect(400, 656, 41, 33) << "-" << false << false << 18.0;
    QTest::newRow("Label6") << "Label6" << -1 << QRect(400, 536, 33, 25) << "+" << false << false << 13.5;
    QTest::newRow("Label5") << "Label5" << -1 << QRect(400, 600, 41, 33) << "0" << false << false << 13.5;
    QTest::newRow("Label4") << "Label4" << -1 << QRect(328, 488, 59, 24) << "(Si/Ni)" << true << false << 13.5;
    QTest::newRow("Label3") << "Label3" << -1 << QRect(408, 488, 35, 28) << "" << false << true << 13.5;
    QTest::newRow("Label2") << "Label2" << -1 << QRect(648, 208, 113, 25) << " \"r\"" << false << false << 13.5;
}

void TestForm1::labels()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QRect, box);
    QFETCH(QString, text);
    QFETCH(bool, autoSize);
    QFETCH(bool, rightAligned);
    QFETCH(double, points);

    QLabel *label = nullptr;
    for (QLabel *candidate : form->findChildren<QLabel *>(name))
        if (index < 0 || candidate->property("index").toInt() == index)
            label = candidate;
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->font().pointSizeF(), points);
    QVERIFY(label->font().bold());
    QCOMPARE(label->font().weight(), QFont::Bold);
    QVERIFY(!label->font().italic() && !label->font().underline() && !label->font().strikeOut());
    if (QFontDatabase::hasFamily("Liberation Sans") && !QFontDatabase::hasFamily("MS Sans Serif"))
        QCOMPARE(QFontInfo(label->font()).family(), QString("Liberation Sans"));
    QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, rightAligned ? Qt::AlignRight : Qt::AlignLeft);
    QCOMPARE(label->focusPolicy(), Qt::NoFocus);

    const QFontMetrics metrics(label->font());
    QCOMPARE(label->pos(), box.topLeft());
    if (autoSize && !text.isEmpty()) {
        // Shrunk or grown to the text, whatever the table said.
        QVERIFY(label->width() - metrics.horizontalAdvance(text) <= 2);
        QVERIFY(label->height() - metrics.height() <= 2);
    } else {
        QCOMPARE(label->size(), box.size());
    }
    // The text is not clipped by its box.
    QVERIFY2(metrics.horizontalAdvance(text) <= label->width(), qPrintable(name));
    QVERIFY2(metrics.height() <= label->height(), qPrintable(name));
}

void TestForm1::scrollBars_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<QRect>("box");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");

    QTest::newRow("HScroll1") << "HScroll1" << Qt::Horizontal << QRect(48, 536, 177, 33) << 0 << 300;
    QTest::newRow("VScroll1") << "VScroll1" << Qt::Vertical << QRect(336, 528, 57, 161) << -40 << 40;
}

void TestForm1::scrollBars()
{
    QFETCH(QString, name);
    QFETCH(Qt::Orientation, orientation);
    QFETCH(QRect, box);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    auto *bar = form->findChild<QScrollBar *>(name);
    QVERIFY(bar);
    QCOMPARE(bar->orientation(), orientation);
    QCOMPARE(bar->geometry(), box);
    QCOMPARE(bar->minimum(), minimum);
    QCOMPARE(bar->maximum(), maximum);
    QCOMPARE(bar->value(), 0);
    QVERIFY(!bar->invertedAppearance());
}

void TestForm1::verticalBarMinimumIsAtTheTop()
{
    QScrollBar *vertical = bar("VScroll1");
    vertical->triggerAction(QAbstractSlider::SliderToMinimum);
    QCOMPARE(vertical->value(), -40);
    const QRect atMinimum = scrollBarPart(vertical, QStyle::SC_ScrollBarSlider);
    vertical->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(vertical->value(), 40);
    QVERIFY(atMinimum.top() < scrollBarPart(vertical, QStyle::SC_ScrollBarSlider).top());
}

void TestForm1::focus()
{
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&*form));
    QCOMPARE(QApplication::focusWidget(), bar("VScroll1"));

    QList<QWidget *> focusable;
    for (QWidget *child : form->findChildren<QWidget *>())
        if (child->focusPolicy() & Qt::TabFocus)
            focusable << child;
    QCOMPARE(focusable.size(), 2);

    // The focus shows on the focused bar, and only there.
    const auto picture = [this](const char *name) { return bar(name)->grab().toImage(); };
    const QImage verticalFocused = picture("VScroll1");
    const QImage horizontalUnfocused = picture("HScroll1");
    QTest::keyClick(bar("VScroll1"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), bar("HScroll1"));
    QVERIFY(picture("HScroll1") != horizontalUnfocused);
    QVERIFY(picture("VScroll1") != verticalFocused);
    QTest::keyClick(bar("HScroll1"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), bar("VScroll1"));
    QCOMPARE(picture("VScroll1"), verticalFocused);
    QCOMPARE(picture("HScroll1"), horizontalUnfocused);
}

void TestForm1::initialPicture()
{
    QVERIFY(timer()->isActive());
    QCOMPARE(timer()->interval(), 1000);
    QCOMPARE(timer()->timerType(), Qt::PreciseTimer);
    QVERIFY(label("Label3")->text().isEmpty());
    QVERIFY(label("Label9")->text().isEmpty());
    QVERIFY(label("Label14")->text().isEmpty());
    QCOMPARE(form->surfaceImage(), bareFrame(*form));
}

void TestForm1::recompute_data()
{
    QTest::addColumn<int>("barValue");
    QTest::addColumn<int>("delay");
    QTest::addColumn<QString>("snrText");
    QTest::addColumn<QString>("zeroLag");

    QTest::newRow("initial settings") << 0 << 0 << "0" << ".334";
    QTest::newRow("bar at the top: 40 dB") << -40 << 0 << "40" << ".991";
    QTest::newRow("bar at the bottom: -40 dB") << 40 << 0 << "-40" << ".";
    QTest::newRow("bar at -10: 10 dB") << -10 << 0 << "10" << ".727";
    QTest::newRow("-20 dB") << 20 << 17 << "-20" << ".006";
    QTest::newRow("0 dB, delay 300") << 0 << 300 << "0" << ".334";
    QTest::newRow("0 dB, delay 150") << 0 << 150 << "0" << ".334";
}

void TestForm1::recompute()
{
    QFETCH(int, barValue);
    QFETCH(int, delay);
    QFETCH(QString, snrText);
    QFETCH(QString, zeroLag);
    bar("VScroll1")->setValue(barValue);
    bar("HScroll1")->setValue(delay);
    form->calcolo();
    QCOMPARE(label("Label3")->text(), snrText);
    QCOMPARE(label("Label9")->text(), QString::number(delay));
    QCOMPARE(label("Label14")->text(), zeroLag);
    // Label14 sizes itself to its text.
    const int textWidth = QFontMetrics(label("Label14")->font()).horizontalAdvance(zeroLag);
    QVERIFY(label("Label14")->width() >= textWidth && label("Label14")->width() <= textWidth + 2);
    QCOMPARE(label("Label14")->pos(), QPoint(584, 528));
}

void TestForm1::peakFollowsTheDelay_data()
{
    QTest::addColumn<int>("delay");
    QTest::newRow("0") << 0;
    QTest::newRow("1") << 1;
    QTest::newRow("75") << 75;
    QTest::newRow("150") << 150;
    QTest::newRow("299") << 299;
    QTest::newRow("300") << 300;
}

void TestForm1::peakFollowsTheDelay()
{
    QFETCH(int, delay);
    bar("HScroll1")->setValue(delay);
    form->calcolo();
    const CurveExtent curve = curveExtent(form->surfaceImage());
    QVERIFY(curve.count > 600); // a connected-looking curve across the plot
    // Peak at x = 100 + 30.636 * delay, y = 3300 - 3200 * 0.3335 = 2233 twips.
    QVERIFY2(std::abs(curve.top.x() - (100 + 30.636 * delay) / 15) <= 1.0,
             qPrintable(QString::number(curve.top.x())));
    QVERIFY2(std::abs(curve.top.y() - 2233 / 15.0) <= 1.0, qPrintable(QString::number(curve.top.y())));
    // The last lag plotted is 299.9901, at x 9290.497: column 619.
    QCOMPARE(curve.right, 619);
}

void TestForm1::repeatedRecomputeIsIdentical()
{
    bar("VScroll1")->setValue(-7);
    bar("HScroll1")->setValue(42);
    form->calcolo();
    const QImage first = form->surfaceImage().copy();
    const QString readout = label("Label14")->text();
    bar("HScroll1")->setValue(200);
    form->calcolo();
    QVERIFY(form->surfaceImage() != first);
    bar("HScroll1")->setValue(42);
    form->calcolo();
    QCOMPARE(form->surfaceImage(), first);
    QCOMPARE(label("Label14")->text(), readout);
}

void TestForm1::barChangeWaitsForTheTick()
{
    timer()->stop(); // the test says when the tick comes
    form->calcolo();
    const QImage before = form->surfaceImage().copy();
    bar("HScroll1")->setValue(120);
    bar("VScroll1")->setValue(-30);
    QCoreApplication::processEvents();
    QCOMPARE(form->surfaceImage(), before);
    QCOMPARE(label("Label3")->text(), QString("0"));
    QCOMPARE(label("Label9")->text(), QString("0"));
    QCOMPARE(label("Label14")->text(), QString(".334"));
    timer()->start(1);
    QTRY_COMPARE_WITH_TIMEOUT(label("Label14")->text(), QString(".972"), 10000);
    QCOMPARE(label("Label9")->text(), QString("120"));
}

void TestForm1::tickRecomputes()
{
    QVERIFY(curveExtent(form->surfaceImage()).count == 0);
    QTRY_VERIFY_WITH_TIMEOUT(!label("Label14")->text().isEmpty(), 10000);
    QCOMPARE(label("Label14")->text(), QString(".334"));
    QVERIFY(curveExtent(form->surfaceImage()).count > 0);
    // Showing the finished curve does not erase it.
    QTest::qWait(100);
    QVERIFY(curveExtent(form->surfaceImage()).count > 0);
    QVERIFY(curveExtent(form->grab().toImage()).count > 0);
}

void TestForm1::repaintRequestErasesTheCurve()
{
    bar("HScroll1")->setValue(33);
    form->calcolo();
    QVERIFY(curveExtent(form->surfaceImage()).count > 0);
    // The offscreen platform never withdraws exposure; hand the window the
    // event a real window system sends when it is uncovered.
    QExposeEvent uncovered(QRegion(form->rect()));
    QCoreApplication::sendEvent(form->windowHandle(), &uncovered);
    QCOMPARE(form->surfaceImage(), bareFrame(*form));
    QCOMPARE(label("Label9")->text(), QString("33"));
    QCOMPARE(label("Label14")->text(), QString(".334"));
}

// The squares are a realisation for the settings the tick shows, a fresh
// one each time; after a bar moves there are none until one for the new
// settings is done, never those of the old. A bar that moves while a
// realisation runs (42 s of signal take a while on any machine) abandons
// it, and one for the new settings follows without waiting for a tick.
void TestForm1::squaresFollowTheBars_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<bool>("whileRunning");
    QTest::newRow("5 s of signal, the bar moved once squares are shown") << 5.0 << false;
    QTest::newRow("42 s of signal, the bar moved during the first realisation") << 42.0 << true;
}

void TestForm1::squaresFollowTheBars()
{
    QFETCH(double, seconds);
    QFETCH(bool, whileRunning);
    timer()->stop();
    form->setSimulation(seconds, 1);
    const auto onTheCurve = [&](plot::Settings settings) {
        const std::span<const double> drawn = form->simulated();
        const double gain = model::correlationGain(settings.snrDb);
        for (std::size_t k = 0; k < drawn.size(); ++k)
            if (5 * int(k) != settings.delayUs
                && std::abs(drawn[k] - model::correlationAt(5.0 * double(k), settings.delayUs, gain)) > 0.05)
                return false;
        return true;
    };
    const plot::Settings before{40, 0}, after{40, 150};
    form->setSettings(before);
    if (whileRunning) {
        form->calcolo();
    } else {
        QVERIFY2(QTest::qWaitFor([&] { return form->calcolo(), !form->simulated().empty(); }, kPatienceMs),
                 "no squares");
        QVERIFY(onTheCurve(before));
        const std::vector<double> first(form->simulated().begin(), form->simulated().end());
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         form->calcolo();
                         return !form->simulated().empty()
                                && !std::equal(first.begin(), first.end(), form->simulated().begin());
                     },
                     kPatienceMs),
                 "the same squares tick after tick");
    }

    form->setSettings(after);
    form->calcolo();
    QVERIFY(form->simulated().empty());
    if (whileRunning) {
        // No tick meanwhile: what finishes next is the simulation's own doing.
        const auto *simulation = form->findChild<BackgroundSimulation *>();
        QVERIFY(simulation);
        QVERIFY2(QTest::qWaitFor([&] { return simulation->latestFor(after, model::Levels::Two) || simulation->latestFor(before, model::Levels::Two); },
                                 kPatienceMs),
                 "no realisation finished after the bar moved");
        QVERIFY2(!simulation->latestFor(before, model::Levels::Two), "the realisation for the old settings was finished, not abandoned");
    }
    bool stale = false;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     form->calcolo();
                     stale |= !onTheCurve(after);
                     return !form->simulated().empty();
                 },
                 kPatienceMs),
             "no squares for the settings after the bar moved");
    QVERIFY2(!stale, "squares off the curve of the settings on screen");
}

// The menu's choice is the command line's, and switches the simulation.
void TestForm1::simulationFromTheMenu()
{
    form->setSimulation(2.6, 1);
    new WindowActions(&*form, QString());
    const auto choice = [&](const QString &text) {
        const QList<QAction *> all = form->findChildren<QAction *>();
        const auto found = std::find_if(all.begin(), all.end(), [&](QAction *a) { return a->text() == text; });
        return found == all.end() ? nullptr : *found;
    };
    QVERIFY(choice("2,6 s di segnale") && choice("2,6 s di segnale")->isChecked());
    choice("42 s di segnale")->trigger();
    QCOMPARE(form->simulationSeconds(), std::optional<double>(42));
    choice("&Nessuna")->trigger();
    QCOMPARE(form->simulationSeconds(), std::nullopt);
}

// A quantizer chosen while the simulation runs: no squares of the one
// before, then squares of its own about its own curve; the correction
// moves them at once, the same realisation corrected.
void TestForm1::squaresFollowTheQuantizer()
{
    timer()->stop();
    form->setSimulation(0.3, 1);
    const auto about = [&](model::Quantization quantization) {
        const std::span<const double> drawn = form->simulated();
        const double gain = model::correlationGain(0);
        for (std::size_t k = 1; k < drawn.size(); ++k)
            if (std::abs(drawn[k] - model::correlationAt(5.0 * double(k), 0, gain, quantization)) > 0.05)
                return false;
        return !drawn.empty();
    };
    QVERIFY2(QTest::qWaitFor([&] { return form->calcolo(), !form->simulated().empty(); }, kPatienceMs), "no squares");
    const model::Quantization four{model::Levels::Four, false};
    form->setQuantization(four);
    form->calcolo();
    QVERIFY2(form->simulated().empty(), "squares of two levels under four");
    QVERIFY2(QTest::qWaitFor([&] { return form->calcolo(), about(four); }, kPatienceMs), "no squares of four levels");
    const std::vector<double> raw(form->simulated().begin(), form->simulated().end());
    form->setQuantization({model::Levels::Four, true});
    form->calcolo();
    QVERIFY2(about({model::Levels::Four, true}), "the corrected squares are not about the input correlation");
    QCOMPARE(form->windowTitle(), QString("Form1 \u2014 4 livelli, corretto"));
    QVERIFY(!std::equal(raw.begin(), raw.end(), form->simulated().begin()));
}

// F11 enters full screen, the layout in the middle, and leaves it again.
void TestForm1::fullScreenKey_data()
{
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("fullScreen");
    QTest::newRow("F11") << 1 << true;
    QTest::newRow("F11 F11") << 2 << false;
}

void TestForm1::fullScreenKey()
{
    QFETCH(int, presses);
    QFETCH(bool, fullScreen);
    new WindowActions(&*form, QString());
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&*form));
    for (int i = 0; i < presses; ++i)
        QTest::keyClick(&*form, Qt::Key_F11);
    QVERIFY2(QTest::qWaitFor([&] { return form->isFullScreen() == fullScreen; }, kPatienceMs),
             fullScreen ? "not in full screen" : "still in full screen");
    const QSize layout(769, 697);
    if (fullScreen)
        QVERIFY2(QTest::qWaitFor([&] { return form->size() == form->screen()->size(); }, kPatienceMs),
                 "in full screen, smaller than the screen");
    // As much room left of the layout as right of it, above as below
    // (none where the screen is smaller than the layout).
    const QPoint expected(std::max(0, (form->width() - layout.width()) / 2),
                          std::max(0, (form->height() - layout.height()) / 2));
    QCOMPARE(form->origin(), fullScreen ? expected : QPoint());
    QCOMPARE(bar("HScroll1")->pos(), form->origin() + QPoint(48, 536));
}

// A figure that takes longer than closing waits for: the window says it
// was not written, and then closes; the writer does not outlive it.
void TestForm1::closingWhileAFigureIsWritten()
{
    QTemporaryDir scratch;
    const QString slow = scratch.filePath("slow");
    QFile script(slow);
    QVERIFY(script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\nexec sleep 60\n") > 0);
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    new WindowActions(&*form, slow);
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&*form));
    QTest::keyClick(&*form, Qt::Key_C, Qt::ControlModifier); // three writers
    // The box waits for an answer in an event loop of its own.
    QString said;
    bool writing = true;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            said = box->windowTitle() + ": " + box->text();
            const QList<QProcess *> writers = form->findChildren<QProcess *>();
            writing = std::any_of(writers.begin(), writers.end(),
                                  [](QProcess *writer) { return writer->state() != QProcess::NotRunning; });
            box->accept();
        }
    });
    answer.start(50);
    form->close();
    QVERIFY2(form->isVisible(), "closed at once, the figure being written");
    QVERIFY2(QTest::qWaitFor([&] { return !form->isVisible(); }, kPatienceMs), "the window did not close");
    QVERIFY2(said.startsWith("Figura non scritta: "), qPrintable("no box saying the figure was not written: " + said));
    QVERIFY2(!writing, "a writer still runs");
}

// The guide's command-line options never break across lines, at whatever
// width its box takes.
void TestForm1::guideKeepsOptionsWhole()
{
    new WindowActions(&*form, QString());
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&*form));
    QString text;
    QFont font;
    QTimer reader;
    connect(&reader, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            const auto *label = box->findChild<QLabel *>("qt_msgbox_label");
            text = label->text();
            font = label->font();
            box->close();
        }
    });
    reader.start(50);
    QTest::keyClick(&*form, Qt::Key_F1); // back once the guide is closed
    QVERIFY2(!text.isEmpty(), "no guide");
    static const QRegularExpression option(QStringLiteral("[-\u2010\u2011]{2}[a-z]+"));
    QStringList options;
    for (const QRegularExpressionMatch &found : option.globalMatch(text))
        options << found.captured();
    QVERIFY2(options.size() >= 5, qPrintable(options.join(' ')));
    for (int width = 100; width <= 800; ++width) {
        QTextLayout layout(text, font);
        QTextOption wrapping;
        wrapping.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(wrapping);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            const int end = line.textStart() + line.textLength();
            for (const QRegularExpressionMatch &found : option.globalMatch(text))
                QVERIFY2(end <= found.capturedStart() || end >= found.capturedEnd(),
                         qPrintable(QStringLiteral("%1 broken at %2 pixels").arg(found.captured()).arg(width)));
        }
        layout.endLayout();
    }
}

void TestForm1::resizingMovesNothing_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("smaller than the plot") << QSize(300, 200);
    QTest::newRow("larger than the layout") << QSize(790, 720);
    // Larger than any screen: memory must not follow it.
    QTest::newRow("16000 x 16000") << QSize(16000, 16000);
}

// Controls and plot keep their places; the surface covers what a tick
// draws and no more, however large the window grows.
void TestForm1::resizingMovesNothing()
{
    QFETCH(QSize, size);
    const QRect barBox = bar("HScroll1")->geometry();
    const QRect labelBox = label("Label8")->geometry();
    form->windowHandle()->resize(size); // as another client would, past the size hints
    const QSize expected = size.boundedTo(form->screen()->virtualSize().expandedTo(QSize(769, 697)));
    QTRY_COMPARE(form->size(), expected);
    QCOMPARE(bar("HScroll1")->geometry(), barBox);
    QCOMPARE(label("Label8")->geometry(), labelBox);
    form->calcolo(); // a trace beyond the visible area is clipped, not a crash
    QCOMPARE(form->surfaceImage().size(), expected.boundedTo(QSize(622, 436)));
    if (expected.width() > 620)
        QCOMPARE(curveExtent(form->grab().toImage()).right, 619);
}

void TestForm1::failureEndsTheProgram_data()
{
    QTest::addColumn<bool>("inEventLoop");
    QTest::newRow("tick in the event loop") << true;
    QTest::newRow("tick before the event loop") << false;
}

void TestForm1::failureEndsTheProgram()
{
    QFETCH(bool, inEventLoop);
    // A signal-to-noise setting outside the bar's normal range overflows g^2
    // in the gain: the first tick must fail, report and end the program.
    bar("VScroll1")->setMinimum(-3100);
    bar("VScroll1")->setValue(-3083);
    QTest::ignoreMessage(QtCriticalMsg, "correlator: Errore di esecuzione in Timer1_Timer: overflow.");

    if (inEventLoop) {
        QTimer safetyNet;
        safetyNet.setSingleShot(true);
        connect(&safetyNet, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        safetyNet.start(10000);
        QCOMPARE(QCoreApplication::exec(), 1);
    } else {
        // exit() means nothing before exec(): main() asks hasFailed() instead.
        QTRY_VERIFY_WITH_TIMEOUT(form->hasFailed(), 3000);
    }
    QVERIFY(!timer()->isActive());
    QVERIFY(!QApplication::activeModalWidget()); // no box where nobody could answer it
    // What happened before the fault stays: frame drawn, setting readouts written.
    QCOMPARE(label("Label3")->text(), QString("3083"));
    QCOMPARE(label("Label9")->text(), QString("0"));
    QVERIFY(label("Label14")->text().isEmpty());
    QCOMPARE(form->surfaceImage(), bareFrame(*form));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
