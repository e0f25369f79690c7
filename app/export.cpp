#include "app/export.h"

#include "app/commandline.h"
#include "app/savefile.h"
#include "plot/tick.h"
#include "plot/values.h"
#include "plot/vectorsurface.h"
#include "simulation/correlator.h"
#include "simulation/efficiency.h"
#include "window/form1.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QImage>
#include <QImageWriter>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSvgGenerator>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

constexpr int kDotsPerInch = 96;
constexpr int kDotsPerMeterAt96Dpi = 3780; // 96 / 0.0254
const QString kTitle = QStringLiteral("Correlatore");
const QString kDescription = QStringLiteral("Uscita di un correlatore a clipping in funzione del ritardo");

// An export's realisation: the seed given, or 1.
std::uint64_t exportSeed(const CommandLine &command)
{
    return command.seed ? *command.seed : 1;
}

// A computation that lasts longer than about a second says how far it has
// got, on one line of the terminal that it erases at the end; to a pipe or
// a file it says nothing, so that scripts and logs stay clean.
class TerminalProgress {
public:
    explicit TerminalProgress(const char *what) : what_(what), terminal_(isatty(STDERR_FILENO))
    {
        // Tests shorten the wait.
        bool set = false;
        afterMs_ = qEnvironmentVariableIntValue("CORRELATOR_PROGRESS_AFTER_MS", &set);
        if (!set)
            afterMs_ = 1000;
        clock_.start();
    }
    // Erases the line, which an interruption leaves as it was.
    ~TerminalProgress()
    {
        if (shown_ >= 0)
            std::fprintf(stderr, "\r%*s\r", int(std::strlen("correlator: ") + std::strlen(what_) + 6), "");
    }
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    simulation::Correlator::Progress callback()
    {
        return [this](std::size_t done, std::size_t of) {
            const int percent = int(100 * done / of);
            if (terminal_ && percent != shown_ && clock_.elapsed() >= afterMs_)
                show(percent);
            return true;
        };
    }
    // Only the first core tells its progress: another may have done the
    // last part. Said whole before the line goes.
    void done()
    {
        if (shown_ >= 0 && shown_ != 100)
            show(100);
    }

private:
    void show(int percent)
    {
        std::fprintf(stderr, "\rcorrelator: %s %3d %%", what_, percent);
        std::fflush(stderr);
        shown_ = percent;
    }

    const char *what_;
    bool terminal_;
    int afterMs_ = 1000;
    QElapsedTimer clock_;
    int shown_ = -1;
};

simulation::Estimates simulate(const CommandLine &command)
{
    simulation::Correlator correlator(*command.simulateSeconds);
    TerminalProgress progress("simulazione");
    const simulation::Estimates estimates = *correlator.run(command.snrDb, command.delayUs, exportSeed(command),
                                                            progress.callback(), command.quantization.levels);
    progress.done();
    return estimates;
}

// Success prints nothing: Qt's own chatter (a missing runtime directory,
// say) is not the user's business here, only its errors are.
void criticalOnly(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "correlator: %s\n", qUtf8Printable(message));
}

// The window's client area, as a picture at 96 dpi. The PNG is made in
// memory, so that a write that fails is the program's to report, not libpng's.
QByteArray pngBytes(Form1 &form)
{
    QImage picture = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    picture.setDotsPerMeterX(kDotsPerMeterAt96Dpi);
    picture.setDotsPerMeterY(kDotsPerMeterAt96Dpi);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture))
        throw std::runtime_error(writer.errorString().toStdString());
    return bytes;
}

// The window's client area in vectors: its background, the tick drawn
// through the vector surface, and the controls as they paint themselves,
// their texts as text.
void paintFigure(Form1 &form, QPainter &painter)
{
    const QColor background = form.palette().color(QPalette::Window);
    painter.fillRect(form.rect(), background);
    {
        plot::VectorSurface surface(painter, form.twipsPerPixel(), background);
        plot::tick(surface, form.settings(), form.quantization(), form.simulated(),
                   QLocale::system().decimalPoint().toStdString(), [](plot::Readout, const std::string &) {});
    }
    for (QWidget *control : form.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        // The family the window shows, by its name: a reader's viewer
        // would not know which of the window's candidates it settled on.
        QFont font = control->font();
        font.setFamily(QFontInfo(font).family());
        control->setFont(font);
        control->render(&painter, control->pos(), QRegion(), QWidget::DrawChildren);
    }
}

// Qt makes a PDF page a whole number of points: 577 x 523 for 576.75 x
// 522.75. The media box is rewritten to the exact size, from the top-left
// corner where the picture starts, in as many bytes, so that no offset in
// the file's cross-reference table moves. Throws if Qt wrote something else.
QByteArray withExactPage(QByteArray pdf, QSizeF page)
{
    const QSize rounded(qRound(page.width()), qRound(page.height()));
    const QByteArray written = QStringLiteral("/MediaBox [0 0 %1.000000 %2.000000]")
                                   .arg(rounded.width())
                                   .arg(rounded.height())
                                   .toLatin1();
    QByteArray exact = QStringLiteral("/MediaBox [0 %1 %2 %3]")
                           .arg(rounded.height() - page.height())
                           .arg(page.width())
                           .arg(rounded.height())
                           .toLatin1();
    const qsizetype at = pdf.indexOf(written);
    if (at < 0 || exact.size() > written.size())
        throw std::runtime_error("the PDF's page is not where this version of Qt used to write it");
    exact.insert(exact.size() - 1, QByteArray(written.size() - exact.size(), ' '));
    return pdf.replace(at, written.size(), exact);
}

// Qt gives an SVG's size in millimetres, 203.465 for 769 pixels, which a
// viewer rounds up to 770: said in pixels instead. Throws if Qt wrote
// something else.
QByteArray withSizeInPixels(QByteArray svg, QSize pixels)
{
    static const QRegularExpression size(QStringLiteral(R"(<svg width="[^"]*mm" height="[^"]*mm")"));
    const QRegularExpressionMatch found = size.match(QString::fromUtf8(svg.left(512)));
    if (!found.hasMatch())
        throw std::runtime_error("the SVG's size is not what this version of Qt used to write");
    const QString exact = QStringLiteral(R"(<svg width="%1" height="%2")").arg(pixels.width()).arg(pixels.height());
    return svg.replace(found.capturedStart(), found.capturedLength(), exact.toUtf8());
}

QByteArray svgBytes(Form1 &form)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(form.size());
    svg.setViewBox(form.rect());
    svg.setResolution(kDotsPerInch);
    svg.setTitle(kTitle);
    svg.setDescription(kDescription);
    QPainter painter(&svg);
    paintFigure(form, painter);
    painter.end();
    return withSizeInPixels(bytes, form.size());
}

QByteArray pdfBytes(Form1 &form)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setResolution(kDotsPerInch);
    const QSizeF page = QSizeF(form.size()) * 72 / kDotsPerInch; // 576.75 x 522.75 points
    pdf.setPageSize(QPageSize(page, QPageSize::Point, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF());
    pdf.setTitle(kTitle);
    pdf.setCreator(QStringLiteral("correlator " CORRELATOR_VERSION));
    QPainter painter(&pdf);
    paintFigure(form, painter);
    painter.end();
    return withExactPage(bytes, page);
}

// The window after one tick, at 96 dpi and scale 1, in the format asked for.
QByteArray figure(const CommandLine &command, std::span<const double> estimates, char *programName)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    for (const char *scaling : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                                "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI"})
        qunsetenv(scaling);
    qInstallMessageHandler(criticalOnly);
    int qtArgc = 1;
    char *qtArgv[] = {programName, nullptr};
    QApplication app(qtArgc, qtArgv);

    // As the window runs: shown (here on no screen) with its first repaint,
    // then one tick.
    Form1 form;
    form.setAttribute(Qt::WA_DontShowOnScreen);
    form.show();
    form.setSettings({command.snrDb, command.delayUs});
    form.setQuantization(command.quantization);
    form.setEstimates(estimates);
    form.calcolo();
    switch (command.format) {
    case CommandLine::Format::Svg:
        return svgBytes(form);
    case CommandLine::Format::Pdf:
        return pdfBytes(form);
    case CommandLine::Format::Png:
    case CommandLine::Format::Csv:
        break;
    }
    return pngBytes(form);
}

} // namespace

int printEfficiencies()
{
    std::vector<simulation::Efficiency> rows;
    try {
        TerminalProgress progress("efficienza");
        rows = simulation::measureEfficiencies(progress.callback());
        progress.done();
    } catch (const std::bad_alloc &) {
        std::fputs("correlator: misura non riuscita: memoria insufficiente\n", stderr);
        return EXIT_FAILURE;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "correlator: misura non riuscita: %s\n", error.what());
        return EXIT_FAILURE;
    }
    std::string text = "levels,threshold_sigma,outer_level,eta_theory,eta_white,eta_signal\n";
    char line[160];
    for (const simulation::Efficiency &row : rows) {
        if (row.levels == model::Levels::Analog) {
            std::snprintf(line, sizeof line, "analog,,,%.4f,%.4f,%.4f\n", row.theory, row.white, row.signal);
        } else {
            std::snprintf(line, sizeof line, "%s,%g,%d,%.4f,%.4f,%.4f\n", model::optionName(row.levels),
                          model::thresholdSigma(row.levels),
                          model::outerLevel(row.levels), row.theory, row.white, row.signal);
        }
        text += line;
    }
    errno = 0;
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "correlator: impossibile scrivere su standard output: %s\n",
                     std::strerror(errno ? errno : EIO));
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

int exportFigure(const CommandLine &command, char *programName)
{
    const plot::Settings settings{command.snrDb, command.delayUs};
    QByteArray bytes;
    try {
        simulation::Estimates estimates{};
        std::span<const double> simulated;
        if (command.simulateSeconds) {
            estimates = simulate(command);
            simulated = estimates;
        }
        if (command.format == CommandLine::Format::Csv)
            bytes = QByteArray::fromStdString(plot::curveCsv(settings, command.quantization,
                                                             plot::shownEstimates(simulated, command.quantization)));
        else
            bytes = figure(command, simulated, programName);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "correlator: calcolo non riuscito con --snr %d --delay %d: %s\n", command.snrDb,
                     command.delayUs, error.what());
        return EXIT_FAILURE;
    }
    if (const std::optional<QString> failure = saveFile(command.output, bytes)) {
        std::fprintf(stderr, "correlator: %s\n", qUtf8Printable(*failure));
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
