#pragma once

#include "model/quantization.h"
#include "plot/settings.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class BackgroundSimulation;
class DestroyedWatch;
class WindowPart;
class QLabel;
class QTimer;
class ScrollBar;

namespace plot {
class ImageSurface;
}

// The program's only window: the plot, its annotations, the two settings
// and the zero-lag readout. It recomputes the curve on every tick of Timer1.
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The settings as the bars show them, and setting them as a user would.
    plot::Settings settings() const;
    void setSettings(plot::Settings settings);

    // Twips per logical pixel of the window: 15 at 96 dpi and 100 %.
    double twipsPerPixel() const;
    // The whole window larger or smaller, plot, texts and bars: 1 is the
    // layout's own size.
    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    // Where the layout's top-left corner lies: the corner of the window,
    // or, when the window is larger than the layout in full screen, where
    // the layout stands centred.
    QPoint origin() const { return origin_; }
    // The plot's frame, 100 to 9300 twips across and 100 to 6500 down, in
    // the window's pixels.
    QRect plotArea() const;
    // What the plot shows now, in device pixels; it covers what a tick
    // draws, and the window's background lies beyond it.
    const QImage &surfaceImage() const;

    // One tick: redraws the plot and writes the readouts.
    void calcolo();

    // What the curve shows: a one-bit correlator's output unless told
    // otherwise. The curve, the simulation and the title follow from the
    // next tick on.
    model::Quantization quantization() const { return quantization_; }
    void setQuantization(model::Quantization quantization);
    // What a quantization draws, in words, for the title and a screen
    // reader ("4 livelli, corretto"); nothing for the one-bit default.
    static QString quantizationText(model::Quantization quantization);

    // From the next tick on, each tick also asks for a realisation of a
    // one-bit correlator fed with seconds of signal, drawn from seeds
    // firstSeed, firstSeed + 1, ... in the background, and draws the
    // estimates of the latest one made for the settings it shows; no
    // seconds, no simulation. Throws std::bad_alloc when the memory for it
    // is not there.
    void setSimulation(std::optional<double> seconds, std::uint64_t firstSeed);
    std::optional<double> simulationSeconds() const;
    // Instead: every tick draws these estimates (uncorrected).
    void setEstimates(std::span<const double> estimates);

    // What the last tick showed: its settings (the bars' before the first
    // tick), its quantization, and the estimates it drew (corrected when the
    // curve is), with the seconds and the seed of the realisation they came
    // from.
    struct Shown {
        plot::Settings settings;
        model::Quantization quantization;
        std::span<const double> simulated;
        double seconds = 0;
        std::uint64_t seed = 0;
    };
    Shown shown() const;
    std::span<const double> simulated() const { return simulated_; }

    // Whether a handler has failed; the program must then end with status 1.
    bool hasFailed() const { return failed_; }

signals:
    // The window has painted itself for the first time.
    void firstFrameShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Form_Paint();
    void Timer1_Timer();
    void HScroll1_Change();

    // The controls of the layout, made once and placed at every zoom.
    void createControls();
    void placeControls();
    void showReadout(plot::Readout readout, const QString &text);
    // The size the window opens at: the layout and a small margin.
    QSize layoutSize() const;
    void capSizeToScreens();
    void describeForScreenReaders();
    void tellScreenReaders();
    void showQuantization(model::Quantization quantization);
    void fitSurfaceToWindow();
    template <typename Handler>
    void runHandler(const char *name, Handler &&handler);
    void failed(const char *handler, std::exception_ptr error) noexcept;

    ScrollBar *HScroll1 = nullptr;
    ScrollBar *VScroll1 = nullptr;
    QTimer *Timer1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label12 = nullptr;
    std::array<QLabel *, 2> Label13{};
    QLabel *Label14 = nullptr;
    QLabel *Label15 = nullptr;

    double zoom_ = 1;
    QPoint origin_;
    WindowPart *plot_ = nullptr;
    WindowPart *announcement_ = nullptr;
    QString previousResult_; // the zero-lag readout of the tick before
    std::unique_ptr<plot::ImageSurface> surface_;
    std::unique_ptr<DestroyedWatch> destroyedWatch_;
    BackgroundSimulation *simulation_ = nullptr;
    std::vector<double> fixedEstimates_;
    model::Quantization quantization_;
    std::optional<plot::Settings> traced_;
    model::Quantization tracedQuantization_;
    std::vector<double> simulated_;
    double simulatedSeconds_ = 0;
    std::uint64_t simulatedSeed_ = 0;
    bool failed_ = false;
    bool painted_ = false;

    // The control table names the members it fills.
    friend struct ControlTable;
};
