// Form1's controls: what each one is, where it stands and how it reads.
#include "window/form1.h"

#include "window/scrollbar.h"

#include <QLabel>
#include <QTimer>

namespace {

constexpr int kTimerPeriodMs = 1000;
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

    static QLabel *&label(Form1 &form, const Control &c)
    {
        return c.label ? form.*c.label : form.Label13[std::size_t(c.index)];
    }
    static ScrollBar *&bar(Form1 &form, const Control &c)
    {
        return c.kind == Kind::HorizontalBar ? form.HScroll1 : form.VScroll1;
    }
};

void Form1::createControls()
{
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
            bar->setRange(c.bar.minimum, c.bar.maximum);
            bar->setShownNegated(c.bar.shownNegated);
            bar->setValue(0);
            bar->setSingleStep(1);
            bar->setPageStep(1);
            bar->setFocusPolicy(Qt::StrongFocus);
            ControlTable::bar(*this, c) = bar;
            break;
        }
        case Kind::Label: {
            auto *label = new QLabel(this);
            label->setObjectName(name);
            label->setFocusPolicy(Qt::NoFocus);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(false);
            label->setAlignment((c.layout == TextLayout::FixedBoxRight ? Qt::AlignRight : Qt::AlignLeft)
                                | Qt::AlignTop);
            label->setProperty("autoSize", c.layout == TextLayout::AutoSize);
            if (c.index >= 0)
                label->setProperty("index", c.index);
            label->setText(QString::fromUtf8(c.text));
            ControlTable::label(*this, c) = label;
            break;
        }
        }
    }
    placeControls();
}

// Each control's box and font at the window's scale, from the origin.
void Form1::placeControls()
{
    const double twips = twipsPerPixel();
    const auto px = [twips](int t) { return qRound(t / twips); };
    for (const Control &c : ControlTable::kControls) {
        QWidget *control = c.kind == Kind::Label ? static_cast<QWidget *>(ControlTable::label(*this, c))
                           : c.kind == Kind::Timer ? nullptr
                                                   : ControlTable::bar(*this, c);
        if (!control)
            continue;
        control->setGeometry(origin_.x() + px(c.left), origin_.y() + px(c.top), px(c.width), px(c.height));
        if (c.kind == Kind::Label) {
            auto *label = static_cast<QLabel *>(control);
            label->setFont(captionFont(c.points * zoom_));
            if (!label->text().isEmpty())
                setCaption(label, label->text());
        }
    }
}

void Form1::showReadout(plot::Readout readout, const QString &text)
{
    switch (readout) {
    case plot::Readout::Snr:
        return setCaption(Label3, text);
    case plot::Readout::Delay:
        return setCaption(Label9, text);
    case plot::Readout::ZeroLag:
        return setCaption(Label14, text);
    }
}
