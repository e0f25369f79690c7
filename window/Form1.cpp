#include "Form1.h"

#include "correlation.h"
#include "frame.h"
#include "imagesurface.h"
#include "readout.h"
#include "ScrollBar.h"
#include "ScrollBarAccessible.h"
#include "trace.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <new>

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

// "MS Sans Serif" where it exists; otherwise Liberation Sans, which has the
// same metrics as the Windows sans serif; otherwise whatever sans serif
// fontconfig offers.
QFont captionFont(double points)
{
    static const QString family = [] {
        for (const char *candidate : {"MS Sans Serif", "Liberation Sans"})
            if (QFontDatabase::hasFamily(QString::fromLatin1(candidate)))
                return QString::fromLatin1(candidate);
        return QString();
    }();
    QFont font;
    if (!family.isEmpty())
        font.setFamily(family);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setPointSizeF(points);
    return font;
}

// What a screen reader says with each readout's number: its caption
// before it and its unit after it.
struct ReadoutWords {
    QLabel *Form1::*readout;
    QLabel *Form1::*caption;
    QLabel *Form1::*unit;
};

constexpr ReadoutWords kReadoutWords[] = {
    {&Form1::Label3, &Form1::Label4, &Form1::Label12},
    {&Form1::Label9, &Form1::Label8, &Form1::Label11},
    {&Form1::Label14, &Form1::Label15, nullptr},
};

// An auto-size label keeps its left and top edges and takes its text's size.
void setCaption(QLabel *label, const QString &text)
{
    label->setText(text);
    if (label->property("autoSize").toBool())
        label->adjustSize();
}

QString italianFaultName(model::ArithmeticFault::Kind kind)
{
    switch (kind) {
    case model::ArithmeticFault::Kind::DivisionByZero:
        return QStringLiteral("divisione per zero");
    case model::ArithmeticFault::Kind::Overflow:
        return QStringLiteral("overflow");
    case model::ArithmeticFault::Kind::InvalidOperation:
        return QStringLiteral("operazione non valida");
    }
    return QStringLiteral("errore aritmetico");
}

QString reasonOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const model::ArithmeticFault &fault) {
        return italianFaultName(fault.kind());
    } catch (const std::bad_alloc &) {
        return QStringLiteral("memoria insufficiente");
    } catch (const std::exception &other) {
        return QStringLiteral("errore interno (%1)").arg(QString::fromLocal8Bit(other.what()));
    } catch (...) {
        return QStringLiteral("errore sconosciuto");
    }
}

// A screen reader announces a top-level window by its role and title.
QAccessibleInterface *windowAccessible(const QString &, QObject *object)
{
    if (auto *form = qobject_cast<Form1 *>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    return nullptr;
}

// A modal box on a platform that shows nothing would wait forever.
bool somebodyCanSeeIt()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

Form1::Form1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    // The layout is fixed in twips from the left, whatever the language.
    setLayoutDirection(Qt::LeftToRight);
    static const bool factoriesInstalled = [] {
        QAccessible::installFactory(windowAccessible);
        QAccessible::installFactory(ScrollBarAccessible::factory);
        return true;
    }();
    Q_UNUSED(factoriesInstalled);
    createControls();

    const double twips = twipsPerPixel();
    resize(qRound(kInitialClientWidth / twips), qRound(kInitialClientHeight / twips));
    fitSurfaceToWindow();

    describeForAssistiveTechnology();
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
}

Form1::~Form1() = default;

double Form1::twipsPerPixel() const
{
    return kTwipsPerInch / logicalDpiX();
}

const QImage &Form1::surfaceImage() const
{
    return surface_->image();
}

void Form1::createControls()
{
    const double twips = twipsPerPixel();
    const auto px = [twips](int t) { return qRound(t / twips); };

    for (const Control &c : kControls) {
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
            (c.label ? this->*c.label : Label13[c.index]) = label;
            break;
        }
        }
    }
}

// Names that screen readers speak for the settings and the readouts.
void Form1::describeForAssistiveTechnology()
{
    HScroll1->setAccessibleName(Label8->text());
    VScroll1->setAccessibleName(Label4->text());
    for (const ReadoutWords &words : kReadoutWords)
        nameReadout(this->*words.readout);
}

// A readout's name is its number with its caption and unit: a label's name
// is all of it that reaches a screen reader.
void Form1::nameReadout(QLabel *readout)
{
    for (const ReadoutWords &words : kReadoutWords) {
        if (this->*words.readout != readout)
            continue;
        QStringList spoken{(this->*words.caption)->text(), readout->text()};
        if (words.unit)
            spoken << (this->*words.unit)->text();
        spoken.removeAll(QString());
        readout->setAccessibleName(spoken.join(u' '));
    }
}

void Form1::setReadout(QLabel *readout, const QString &text)
{
    setCaption(readout, text);
    nameReadout(readout);
}

void Form1::fitSurfaceToWindow()
{
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (surface_ && surface_->image().size() == pixels && surface_->image().devicePixelRatio() == ratio)
        return;
    surface_ = std::make_unique<plot::ImageSurface>(pixels, twipsPerPixel() / ratio,
                                                    palette().color(QPalette::Window), ratio);
}

void Form1::calcolo()
{
    plot::drawFrame(*surface_);
    const std::int16_t snrDb = plot::snrFromBarValue(VScroll1->value());
    const auto delayUs = std::int16_t(HScroll1->value());
    setReadout(Label3, plot::decimalText(snrDb));
    setReadout(Label9, plot::decimalText(delayUs));
    const double gain = model::correlationGain(snrDb);
    plot::traceCurve(*surface_, delayUs, gain);
    setReadout(Label14, plot::zeroLagText(model::zeroLagValue(gain), QLocale::system().decimalPoint()));
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
    [[maybe_unused]] const int delay = HScroll1->value();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        runHandler("Form_Paint", [this] { Form_Paint(); });
    return QWidget::eventFilter(watched, event);
}

void Form1::resizeEvent(QResizeEvent *)
{
    runHandler("Form_Paint", [this] { Form_Paint(); });
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), surface_->image());
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

void Form1::failed(const char *handler, std::exception_ptr error)
{
    failed_ = true;
    Timer1->stop();
    update(); // what was drawn before the failure stays visible
    reportFailure(this, handler, error);
    // Before exec() has started (the first repaint runs from show()) this
    // does nothing; main() then sees hasFailed().
    QCoreApplication::exit(EXIT_FAILURE);
}

void Form1::reportFailure(QWidget *parent, const char *where, std::exception_ptr error)
{
    const QString message = QStringLiteral("Errore di esecuzione in %1: %2.")
                                .arg(QString::fromLatin1(where), reasonOf(error));
    qCritical("correlator: %s", qUtf8Printable(message));
    if (somebodyCanSeeIt())
        QMessageBox::critical(parent, QStringLiteral("Form1"), message + QStringLiteral("\nIl programma verrà chiuso."));
}
