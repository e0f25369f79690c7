#include "export.h"

#include "commandline.h"
#include "savefile.h"
#include "form1.h"
#include "tick.h"

#include <QApplication>
#include <QImage>
#include <QImageWriter>
#include <QBuffer>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

constexpr int kDotsPerMeterAt96Dpi = 3780; // 96 / 0.0254

// A tick's values are all a CSV wants of it: nothing is drawn.
struct NoSurface {
    void clearSurface() {}
    void setPoint(float, float, plot::Colour) {}
    void drawLine(float, float, float, float, plot::Colour) {}
    void fillRect(float, float, float, float, plot::Colour) {}
};

// One line per traced point, each number in the shortest form that reads
// back as the same double, with '.' whatever the locale.
QByteArray curveCsv(plot::Settings settings)
{
    std::string text = "lag_us,correlation\n";
    text.reserve(30000 * 48);
    char line[64];
    NoSurface nothing;
    plot::tick(
        nothing, settings, {}, QStringLiteral("."), [](plot::Readout, const QString &) {},
        [&](double lag, double value) {
            char *end = std::to_chars(line, line + sizeof line, lag).ptr;
            *end++ = ',';
            end = std::to_chars(end, line + sizeof line, value).ptr;
            *end++ = '\n';
            text.append(line, end);
        });
    return QByteArray(text.data(), qsizetype(text.size()));
}

// Success prints nothing: Qt's own chatter (a missing runtime directory,
// say) is not the user's business here, only its errors are.
void criticalOnly(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "correlator: %s\n", qUtf8Printable(message));
}

// The window's client area after one tick, at 96 dpi and scale 1.
QImage windowPicture(plot::Settings settings, char *programName)
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
    form.setSettings(settings);
    form.calcolo();
    QImage picture = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    picture.setDotsPerMeterX(kDotsPerMeterAt96Dpi);
    picture.setDotsPerMeterY(kDotsPerMeterAt96Dpi);
    return picture;
}

// The picture as a PNG file's bytes: made in memory, so that a write that
// fails is the program's to report, not libpng's.
QByteArray pngBytes(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture))
        throw std::runtime_error(writer.errorString().toStdString());
    return bytes;
}

} // namespace

int exportFigure(const CommandLine &command, char *programName)
{
    const plot::Settings settings{command.snrDb, command.delayUs};
    QByteArray bytes;
    try {
        if (command.format == CommandLine::Format::Csv)
            bytes = curveCsv(settings);
        else
            bytes = pngBytes(windowPicture(settings, programName));
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
