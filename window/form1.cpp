#include "form1.h"

#include "accessibility.h"
#include "backgroundsimulation.h"
#include "destroyedwatch.h"
#include "failurereport.h"
#include "imagesurface.h"
#include "scrollbar.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

constexpr double kTwipsPerInch = 1440;
constexpr int kTimerPeriodMs = 1000;

// The layout reaches 11415 x 10335 twips; open with a small margin beyond.
constexpr int kInitialClientWidth = 11415 + 120;
constexpr int kInitialClientHeight = 10335 + 120;

constexpr double kCaptionPoints = 13.5;
constexpr double kLargeCaptionPoints = 18;

enum class Kind { HorizontalBar, VerticalBar, Timer, Label };
enum class TextLayout { None, FixedBox, FixedBoxRight, AutoSize };

struct Bar {
    int minimum, maximum;
    bool shownNegated; // the window shows the value with the opposite sign
};

struct Control {
    const char *name;
    Kind kind;
    QLabel *Form1::*label; // where a label is kept; null for Label13's array
    int index;             // Label13's index, otherwise -1
    int left, top, width, height; // twips
    const char *text;
    TextLayout layout;
    double points;
    Bar bar;
};

// Where a tick writes each readout.
struct ReadoutLabel {
    plot::Readout readout;
    QLabel *Form1::*label;
};

// The caption that names a bar and the unit of its value.
struct BarWords {
    ScrollBar *Form1::*bar;
    QLabel *Form1::*caption;
    QLabel *Form1::*unit;
};

// "MS Sans Serif" where it exists; otherwise Liberation Sans, which has the
// same metrics as the Windows sans serif; otherwise whatever sans serif
// fontconfig offers. A list rather than asking the font database which
// family exists: each such question costs fontconfig a full substitution,
// as long as the rest of start-up together.
QFont captionFont(double points)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setPointSizeF(points);
    return font;
}

// An auto-size label keeps its left and top edges and takes its text's size.
void setCaption(QLabel *label, const QString &text)
{
    label->setText(text);
    if (label->property("autoSize").toBool())
        label->adjustSize();
}

} // namespace

// A friend of Form1, so that its rows can name the private controls.
struct ControlTable {
    // Every control of the window, in creation order.
    static constexpr Control kControls[] = {
        {"HScroll1", Kind::HorizontalBar, nullptr, -1, 720, 8040, 2655, 495, nullptr, TextLayout::None, 0, {0, 300, false}},
        {"Timer1", Kind::Timer, nullptr, -1, 0, 0, 0, 0, nullptr, TextLayout::None, 0, {}},
        {"VScroll1", Kind::VerticalBar, nullptr, -1, 5040, 7920, 855, 2415, nullptr, TextLayout::None, 0, {-40, 40, true}},
        {"Label15", Kind::Label, &Form1::Label15, -1, 7560, 7920, 975, 495, "C (0) =", TextLayout::FixedBox, kCaptionPoints, {}},
        {"Label14", Kind::Label, &Form1::Label14, -1, 8760, 7920, 105, 360, "", TextLayout::AutoSize, kCaptionPoints, {}},
        {"Label13", Kind::Label, nullptr, 1, 9600, 6240, 945, 360, "- C (r*)", TextLayout::AutoSize, kCaptionPoints, {}},
        {"Label13", Kind::Label, nullptr, 0, 9600, 0, 1020, 360, "+ C (r*)", TextLayout::AutoSize, kCaptionPoints, {}},
        {"Label12", Kind::Label, &Form1::Label12, -1, 6720, 7320, 615, 375, "dB", TextLayout::FixedBox, kCaptionPoints, {}},
        {"Label11", Kind::Label, &Form1::Label11, -1, 2880, 8880, 1425, 360, "microSec.", TextLayout::AutoSize, kCaptionPoints, {}},
        {"Label10", Kind::Label, &Form1::Label10, -1, 8880, 6720, 2010, 360, "300 microSec.", TextLayout::AutoSize, kCaptionPoints, {}},
        {"Label1", Kind::Label, &Form1::Label1, -1, 0, 6480, 375, 375, "0", TextLayout::FixedBox, kCaptionPoints, {}},
        {"Label9", Kind::Label, &Form1::Label9, -1, 1680, 8880, 975, 375, "", TextLayout::FixedBoxRight, kCaptionPoints, {}},
        {"Label8", Kind::Label, &Form1::Label8, -1, 600, 7320, 3330, 360, "Ritardo tra i due segnali", TextLayout::AutoSize, kCaptionPoints, {}},
        {"Label7", Kind::Label, &Form1::Label7, -1, 6000, 9840, 615, 495, "-", TextLayout::FixedBox, kLargeCaptionPoints, {}},
        {"Label6", Kind::Label, &Form1::Label6, -1, 6000, 8040, 495, 375, "+", TextLayout::FixedBox, kCaptionPoints, {}},
        {"Label5", Kind::Label, &Form1::Label5, -1, 6000, 9000, 615, 495, "0", TextLayout::FixedBox, kCaptionPoints, {}},
        {"Label4", Kind::Label, &Form1::Label4, -1, 4920, 7320, 885, 360, "(Si/Ni)", TextLayout::AutoSize, kCaptionPoints, {}},
        {"Label3", Kind::Label, &Form1::Label3, -1, 6120, 7320, 525, 420, "", TextLayout::FixedBoxRight, kCaptionPoints, {}},
        {"Label2", Kind::Label, &Form1::Label2, -1, 9720, 3120, 1695, 375, " \"r\"", TextLayout::FixedBox, kCaptionPoints, {}},
    };

    static constexpr ReadoutLabel kReadouts[] = {
        {plot::Readout::Snr, &Form1::Label3},
        {plot::Readout::Delay, &Form1::Label9},
        {plot::Readout::ZeroLag, &Form1::Label14},
    };

    static constexpr BarWords kBars[] = {
        {&Form1::VScroll1, &Form1::Label4, &Form1::Label12},
        {&Form1::HScroll1, &Form1::Label8, &Form1::Label11},
    };
};

Form1::Form1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    // The layout is fixed in twips from the left, whatever the language.
    setLayoutDirection(Qt::LeftToRight);
    accessibility::install();
    createControls();

    // The surface comes with the first repaint, which is the first to need it.
    resize(layoutSize());

    describeForScreenReaders();
    setTabOrder(VScroll1, HScroll1);
    VScroll1->setFocus();

    connectHandlers();
    Timer1->start();

    // Repaint requests of the window system reach the native window; the
    // widget itself is served from Qt's backing store and would not see them.
    create();
    windowHandle()->installEventFilter(this);
    // Qt keeps a picture of the whole window, however large it is made:
    // no larger than all the screens together, or it would cost memory
    // without bound for nothing anybody sees.
    capSizeToScreens();
    connect(windowHandle(), &QWindow::screenChanged, this, &Form1::capSizeToScreens);
    destroyedWatch_ = std::make_unique<DestroyedWatch>(this);
    QCoreApplication::instance()->installNativeEventFilter(destroyedWatch_.get());
}

Form1::~Form1() = default;

double Form1::twipsPerPixel() const
{
    return kTwipsPerInch / logicalDpiX();
}

QSize Form1::layoutSize() const
{
    const double twips = twipsPerPixel();
    return {qRound(kInitialClientWidth / twips), qRound(kInitialClientHeight / twips)};
}

const QImage &Form1::surfaceImage() const
{
    static const QImage none;
    return surface_ ? surface_->image() : none;
}

plot::Settings Form1::settings() const
{
    return {plot::settingOf(VScroll1->shownValue()), plot::settingOf(HScroll1->shownValue())};
}

void Form1::setSettings(plot::Settings settings)
{
    VScroll1->setShownValue(settings.snrDb);
    HScroll1->setShownValue(settings.delayUs);
}

void Form1::createControls()
{
    const double twips = twipsPerPixel();
    const auto px = [twips](int t) { return qRound(t / twips); };

    for (const Control &c : ControlTable::kControls) {
        const QString name = QString::fromLatin1(c.name);
        switch (c.kind) {
        case Kind::Timer:
            Timer1 = new QTimer(this);
            Timer1->setObjectName(name);
            Timer1->setInterval(kTimerPeriodMs);
            // A coarse timer may stretch a period by 5 %.
            Timer1->setTimerType(Qt::PreciseTimer);
            break;
        case Kind::HorizontalBar:
        case Kind::VerticalBar: {
            auto *bar = new ScrollBar(c.kind == Kind::HorizontalBar ? Qt::Horizontal : Qt::Vertical, this);
            bar->setObjectName(name);
            bar->setGeometry(px(c.left), px(c.top), px(c.width), px(c.height));
            bar->setRange(c.bar.minimum, c.bar.maximum);
            bar->setShownNegated(c.bar.shownNegated);
            bar->setValue(0);
            bar->setSingleStep(1);
            bar->setPageStep(1);
            bar->setFocusPolicy(Qt::StrongFocus);
            (c.kind == Kind::HorizontalBar ? HScroll1 : VScroll1) = bar;
            break;
        }
        case Kind::Label: {
            auto *label = new QLabel(this);
            label->setObjectName(name);
            label->setFont(captionFont(c.points));
            label->setFocusPolicy(Qt::NoFocus);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(false);
            label->setAlignment((c.layout == TextLayout::FixedBoxRight ? Qt::AlignRight : Qt::AlignLeft)
                                | Qt::AlignTop);
            label->setProperty("autoSize", c.layout == TextLayout::AutoSize);
            if (c.index >= 0)
                label->setProperty("index", c.index);
            label->setGeometry(px(c.left), px(c.top), px(c.width), px(c.height));
            const QString text = QString::fromUtf8(c.text);
            if (!text.isEmpty())
                setCaption(label, text);
            (c.label ? this->*c.label : Label13[std::size_t(c.index)]) = label;
            break;
        }
        }
    }
}

void Form1::connectHandlers()
{
    connect(Timer1, &QTimer::timeout, this, [this] { runHandler("Timer1_Timer", [this] { Timer1_Timer(); }); });
    connect(HScroll1, &QScrollBar::valueChanged, this,
            [this] { runHandler("HScroll1_Change", [this] { HScroll1_Change(); }); });
}

void Form1::capSizeToScreens()
{
    setMaximumSize(screen()->virtualSize().expandedTo(layoutSize()));
}

QLabel *Form1::readoutLabel(plot::Readout readout) const
{
    for (const ReadoutLabel &entry : ControlTable::kReadouts)
        if (entry.readout == readout)
            return this->*entry.label;
    return nullptr;
}

// A bar is named by its caption and described by its unit, which a screen
// reader speaks after its value; the readouts are the numbers they show,
// so that reading the window line by line finds caption, number and unit
// once each.
void Form1::describeForScreenReaders()
{
    setAccessibleDescription(QStringLiteral(
        "Correlatore a clipping: la correlazione in funzione del ritardo, ridisegnata ogni secondo, "
        "e il suo valore a ritardo zero, C (0)."));
    for (const BarWords &words : ControlTable::kBars) {
        ScrollBar *bar = this->*words.bar;
        accessibility::name(bar, (this->*words.caption)->text());
        accessibility::describe(bar, (this->*words.unit)->text());
    }
    const double twips = twipsPerPixel();
    const QRect area(QPoint(qRound(plot::frame::kLeft / twips), qRound(plot::frame::kTop / twips)),
                     QPoint(qRound(plot::frame::kRight / twips), qRound(plot::frame::kBottom / twips)));
    plot_ = new WindowPart(this, QStringLiteral("plot"), QAccessible::Chart,
                           QStringLiteral("Grafico della correlazione"), area);
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
    for (const BarWords &words : ControlTable::kBars)
        accessibility::describe(this->*words.bar, (this->*words.unit)->text() + QStringLiteral(", ") + result);
    QString curve = QStringLiteral("Picco a %1 %2, altezza %3").arg(Label9->text(), Label11->text(), Label14->text());
    if (!simulated_.empty())
        curve += QStringLiteral("; %1 stime simulate attorno alla curva").arg(simulated_.size());
    plot_->setDescription(curve + u'.');
}

// Everything a tick draws, and nothing beyond: the window's background
// shows past it, however large the window grows.
void Form1::fitSurfaceToWindow()
{
    const qreal ratio = devicePixelRatioF();
    const double twipsPerDevicePixel = twipsPerPixel() / ratio;
    const QSize drawing(int(std::ceil(plot::kDrawingRight / twipsPerDevicePixel)),
                        int(std::ceil(plot::kDrawingBottom / twipsPerDevicePixel)));
    const QSize pixels = drawing.boundedTo(size() * ratio);
    if (surface_ && surface_->image().size() == pixels && surface_->image().devicePixelRatio() == ratio)
        return;
    surface_ = std::make_unique<plot::ImageSurface>(pixels, twipsPerDevicePixel, palette().color(QPalette::Window),
                                                    ratio);
}

void Form1::setSimulation(double seconds, std::uint64_t firstSeed)
{
    delete std::exchange(simulation_, nullptr);
    simulation_ = new BackgroundSimulation(seconds, firstSeed, this);
}

void Form1::setEstimates(std::span<const double> estimates)
{
    fixedEstimates_.assign(estimates.begin(), estimates.end());
}

std::span<const double> Form1::simulated() const
{
    return simulated_;
}

void Form1::calcolo()
{
    fitSurfaceToWindow();
    const plot::Settings now = settings();
    const std::span<const double> estimates = simulation_ ? simulation_->estimatesFor(now) : fixedEstimates_;
    simulated_.assign(estimates.begin(), estimates.end());
    if (simulation_)
        simulation_->want(now);
    plot::tick(*surface_, now, simulated_, QLocale::system().decimalPoint(),
               [this](plot::Readout readout, const QString &text) { setCaption(readoutLabel(readout), text); });
    tellScreenReaders();
    update();
}

void Form1::Form_Paint()
{
    fitSurfaceToWindow();
    plot::drawFrame(*surface_);
    update();
}

void Form1::Timer1_Timer()
{
    calcolo();
}

// The new delay is read by the next calcolo; nothing happens now.
void Form1::HScroll1_Change()
{
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        runHandler("Form_Paint", [this] { Form_Paint(); });
    return QWidget::eventFilter(watched, event);
}

// A window manager holds the window to its maximum size; without one an
// outside client can make it any size, and the toolkit keeps a backing
// store as large as the window (1 GB at 16000 x 16000). Taken back at once,
// before anything is painted at that size.
void Form1::resizeEvent(QResizeEvent *event)
{
    const QSize bounded = event->size().boundedTo(maximumSize());
    if (bounded != event->size())
        resize(bounded);
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!painter.isActive()) {
        // Qt could not make the window's backing store: out of memory.
        runHandler("Form_Paint", [] { throw std::bad_alloc(); });
        return;
    }
    painter.drawImage(QPoint(0, 0), surfaceImage());
    if (!std::exchange(painted_, true))
        emit firstFrameShown();
}

// No exception may cross the event loop: a failing handler ends the program.
template <typename Handler>
void Form1::runHandler(const char *name, Handler &&handler)
{
    if (failed_)
        return;
    try {
        handler();
    } catch (...) {
        failed(name, std::current_exception());
    }
}

void Form1::failed(const char *handler, std::exception_ptr error) noexcept
{
    failed_ = true;
    Timer1->stop();
    try {
        if (outOfMemory(error))
            setUpdatesEnabled(false); // nothing more can be drawn: not even tried
        else
            update(); // what was drawn before the failure stays visible
    } catch (...) {
    }
    reportFailure(this, handler, error);
    // Before exec() has started this does nothing; main() then sees
    // hasFailed().
    QCoreApplication::exit(EXIT_FAILURE);
}
