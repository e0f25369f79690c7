#include "window/form1.h"

#include "plot/imagesurface.h"
#include "plot/tick.h"
#include "window/accessibility.h"
#include "window/backgroundsimulation.h"
#include "window/destroyedwatch.h"
#include "window/failurereport.h"
#include "window/scrollbar.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

constexpr double kTwipsPerInch = 1440;

// The layout reaches 11415 x 10335 twips; open with a small margin beyond.
constexpr int kInitialClientWidth = 11415 + 120;
constexpr int kInitialClientHeight = 10335 + 120;

} // namespace

Form1::Form1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    // The layout is fixed in twips from the left, whatever the language.
    setLayoutDirection(Qt::LeftToRight);
    accessibility::install(staticMetaObject);
    createControls();

    // The surface comes with the first repaint, which is the first to need it.
    resize(layoutSize());

    describeForScreenReaders();
    setTabOrder(VScroll1, HScroll1);
    VScroll1->setFocus();

    connect(Timer1, &QTimer::timeout, this, [this] { runHandler("Timer1_Timer", [this] { Timer1_Timer(); }); });
    connect(HScroll1, &QScrollBar::valueChanged, this,
            [this] { runHandler("HScroll1_Change", [this] { HScroll1_Change(); }); });
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
    return kTwipsPerInch / (logicalDpiX() * zoom_);
}

QSize Form1::layoutSize() const
{
    const double twips = twipsPerPixel();
    return {qRound(kInitialClientWidth / twips), qRound(kInitialClientHeight / twips)};
}

QRect Form1::plotArea() const
{
    const double twips = twipsPerPixel();
    return QRect(QPoint(qRound(plot::frame::kLeft / twips), qRound(plot::frame::kTop / twips)),
                 QPoint(qRound(plot::frame::kRight / twips), qRound(plot::frame::kBottom / twips)))
        .translated(origin_);
}

void Form1::setZoom(double zoom)
{
    if (zoom == zoom_)
        return;
    zoom_ = zoom;
    capSizeToScreens();
    if (!(windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized)))
        resize(layoutSize());
    placeControls();
    runHandler("Form_Paint", [this] { Form_Paint(); });
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

void Form1::capSizeToScreens()
{
    setMaximumSize(screen()->virtualSize().expandedTo(layoutSize()));
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
    if (surface_ && surface_->image().size() == pixels && surface_->image().devicePixelRatio() == ratio
        && surface_->twipsPerPixel() == twipsPerDevicePixel)
        return;
    surface_ = std::make_unique<plot::ImageSurface>(pixels, twipsPerDevicePixel, palette().color(QPalette::Window),
                                                    ratio);
}

void Form1::setQuantization(model::Quantization quantization)
{
    quantization_ = quantization;
    if (!traced_) // the first tick's, from the start
        showQuantization(quantization);
}

QString Form1::quantizationText(model::Quantization quantization)
{
    if (quantization == model::Quantization{})
        return {};
    switch (quantization.levels) {
    case model::Levels::Two:
        break;
    case model::Levels::Three:
        return QStringLiteral("3 livelli") + (quantization.vanVleck ? QStringLiteral(", corretto") : QString());
    case model::Levels::Four:
        return QStringLiteral("4 livelli") + (quantization.vanVleck ? QStringLiteral(", corretto") : QString());
    case model::Levels::Analog:
        return QStringLiteral("analogico");
    }
    return QStringLiteral("2 livelli, corretto");
}

// The title says what the curve is when it is not the one-bit default.
void Form1::showQuantization(model::Quantization quantization)
{
    const QString text = quantizationText(quantization);
    setWindowTitle(text.isEmpty() ? QStringLiteral("Form1") : QStringLiteral("Form1 \u2014 ") + text);
}

void Form1::setSimulation(std::optional<double> seconds, std::uint64_t firstSeed)
{
    delete std::exchange(simulation_, nullptr);
    if (seconds)
        simulation_ = new BackgroundSimulation(*seconds, firstSeed, this);
}

std::optional<double> Form1::simulationSeconds() const
{
    return simulation_ ? std::optional(simulation_->seconds()) : std::nullopt;
}

void Form1::setEstimates(std::span<const double> estimates)
{
    fixedEstimates_.assign(estimates.begin(), estimates.end());
}

Form1::Shown Form1::shown() const
{
    return {traced_.value_or(settings()), traced_ ? tracedQuantization_ : quantization_, simulated_, simulatedSeconds_,
            simulatedSeed_};
}

void Form1::calcolo()
{
    fitSurfaceToWindow();
    const plot::Settings now = settings();
    std::span<const double> estimates = fixedEstimates_;
    if (simulation_) {
        estimates = {};
        if (const BackgroundSimulation::Realisation *latest = simulation_->latestFor(now, quantization_.levels)) {
            estimates = latest->estimates;
            simulatedSeconds_ = simulation_->seconds();
            simulatedSeed_ = latest->seed;
        }
        simulation_->want(now, quantization_.levels);
    }
    simulated_ = plot::shownEstimates(estimates, quantization_);
    plot::tick(*surface_, now, quantization_, simulated_, QLocale::system().decimalPoint().toStdString(),
               [this](plot::Readout readout, const std::string &text) {
                   showReadout(readout, QString::fromStdString(text));
               });
    traced_ = now;
    if (std::exchange(tracedQuantization_, quantization_) != quantization_)
        showQuantization(quantization_);
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
// before anything is painted at that size. In full screen the layout
// stands in the middle.
void Form1::resizeEvent(QResizeEvent *event)
{
    const QSize bounded = event->size().boundedTo(maximumSize());
    if (bounded != event->size())
        resize(bounded);
    const QSize layout = layoutSize();
    const QPoint origin = isFullScreen() ? QPoint(std::max(0, (width() - layout.width()) / 2),
                                                  std::max(0, (height() - layout.height()) / 2))
                                         : QPoint();
    if (origin != std::exchange(origin_, origin))
        placeControls();
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!painter.isActive()) {
        // Qt could not make the window's backing store: out of memory.
        runHandler("Form_Paint", [] { throw std::bad_alloc(); });
        return;
    }
    painter.drawImage(origin_, surfaceImage());
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
