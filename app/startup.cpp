#include "app/startup.h"

#include "window/actions.h"
#include "window/failurereport.h"

#include <QApplication>
#include <QImage>
#include <QLibraryInfo>
#include <QLocale>
#include <QPixmap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QResource>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <malloc.h>
#include <new>
#include <pthread.h>
#include <string>
#include <unistd.h>

namespace {

// The Debian packages that hold Qt's platform plugins.
struct PluginPackage {
    const char *plugin;
    const char *package;
};

constexpr PluginPackage kPluginPackages[] = {
    {"xcb", "qt6-qpa-plugins"},
    {"offscreen", "qt6-qpa-plugins"},
    {"minimal", "qt6-qpa-plugins"},
    {"eglfs", "qt6-qpa-plugins"},
    {"linuxfb", "qt6-qpa-plugins"},
    {"wayland", "qt6-wayland"},
    {"wayland-egl", "qt6-wayland"},
};

// A screen reader slow to answer for keys that repeat fast, or asking
// after a part of a dialog just closed (the file dialog's list, say).
bool harmless(const QString &message)
{
    return message.startsWith(QLatin1String("QSpiApplication::keyEventError"))
           || message.startsWith(QLatin1String("WARNING Qt AtSpiAdaptor: Accessible invalid"));
}

QtMessageHandler beyondHarmless = nullptr;

void dropHarmless(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!harmless(message))
        beyondHarmless(type, context, message);
}

QtMessageHandler passedOn = nullptr;
std::string heldBack;
QStringList heldFirstLines;

void hold(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (harmless(message))
        return;
    if (type != QtFatalMsg && message.startsWith(QLatin1String("correlator: "))) {
        passedOn(type, context, message);
        return;
    }
    heldFirstLines << message.section(u'\n', 0, 0);
    if (type != QtFatalMsg) {
        heldBack += qFormatLogMessage(type, context, message).toStdString() + '\n';
        return;
    }
    std::fprintf(stderr, "correlator: %s\n", qUtf8Printable(startup::failureLine(heldFirstLines)));
    _exit(EXIT_FAILURE);
}

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

// Asks for less address space than the C library would by default: one
// malloc arena for all threads (not 64 MB more for each of Qt's helper
// threads) and thread stacks of 1 MB (not 8).
void reserveLess()
{
    mallopt(M_ARENA_MAX, 1);
    constexpr std::size_t kThreadStack = 1 << 20;
    pthread_attr_t attributes;
    std::size_t stack = 0;
    if (pthread_getattr_default_np(&attributes) == 0) {
        pthread_attr_getstacksize(&attributes, &stack);
        if (stack > kThreadStack && pthread_attr_setstacksize(&attributes, kThreadStack) == 0)
            pthread_setattr_default_np(&attributes);
        pthread_attr_destroy(&attributes);
    }
}

constexpr unsigned kWatchdogSeconds = 60;

extern "C" void startupTooLong(int)
{
    static const char line[] = "correlator: l'avvio non si è concluso entro un minuto "
                               "(memoria insufficiente?); il programma termina.\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line, sizeof line - 1);
    _exit(EXIT_FAILURE);
}

// Memory that runs out where nothing can catch it (inside Qt's event
// loop, say) ends the program with one line and status 1, not an abort.
void endQuietlyWhenOutOfMemory()
{
    static const std::terminate_handler previous = std::set_terminate([] {
        try {
            if (const std::exception_ptr error = std::current_exception())
                std::rethrow_exception(error);
        } catch (const std::bad_alloc &) {
            if (!failureReported())
                std::fputs("correlator: memoria insufficiente; il programma termina.\n", stderr);
            _exit(EXIT_FAILURE);
        } catch (...) {
        }
        previous();
    });
}

void armWatchdog()
{
    std::signal(SIGALRM, startupTooLong);
    alarm(kWatchdogSeconds);
}

void disarmWatchdog()
{
    alarm(0);
    std::signal(SIGALRM, SIG_DFL);
}

// When a screen reader is slow to answer for keys that repeat fast, Qt
// says so, and nothing is wrong.
void quietenHarmlessMessages()
{
    beyondHarmless = qInstallMessageHandler(dropHarmless);
}

// The window's icon on X11, from raw pixels: decoding a PNG would first
// have Qt look through every image format plugin.
QIcon windowIcon()
{
    constexpr int kSide = 64;
    const QByteArray pixels = QResource(QStringLiteral(":/icons/correlator.argb32")).uncompressedData();
    if (pixels.size() != kSide * kSide * 4)
        return {};
    const QImage image(reinterpret_cast<const uchar *>(pixels.constData()), kSide, kSide,
                       QImage::Format_ARGB32_Premultiplied);
    return QIcon(QPixmap::fromImage(image));
}

std::uint64_t randomSeed()
{
    return QRandomGenerator::system()->generate64();
}

// The program's own running image, which writes the figures: after an
// upgrade replaced or removed its file, the path it was started from runs
// another version, or nothing.
QString runningImage()
{
#ifdef Q_OS_LINUX
    return QStringLiteral("/proc/self/exe");
#else
    return QCoreApplication::applicationFilePath();
#endif
}

// Qt's own texts (the file dialog, the buttons, the about box) in Italian,
// like the window's, whatever the locale: Debian's qt6-translations-l10n.
void installQtTranslations()
{
    static QTranslator translator;
    if (translator.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
}

} // namespace

bool startup::displayConfigured()
{
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM"))
        return true;
    std::fputs("correlator: nessun display grafico (DISPLAY e WAYLAND_DISPLAY non sono impostati); "
               "avviare il programma da una sessione grafica X11 o Wayland.\n",
               stderr);
    return false;
}

QString startup::failureLine(const QStringList &qtMessages)
{
    static const QRegularExpression missingPlugin(QStringLiteral("Could not find the Qt platform plugin \"([^\"]*)\""));
    // Qt's reason is its first line, past its notes on plugins it could not
    // find; its last, fatal line only sums up.
    QString reason;
    QString package;
    for (qsizetype i = 0; i < qtMessages.size(); ++i) {
        const QRegularExpressionMatch missing = missingPlugin.match(qtMessages[i]);
        if (!missing.hasMatch()) {
            if (reason.isEmpty() && i + 1 < qtMessages.size())
                reason = qtMessages[i];
            continue;
        }
        for (const PluginPackage &known : kPluginPackages)
            if (package.isEmpty() && missing.captured(1) == QLatin1String(known.plugin))
                package = QString::fromLatin1(known.package);
    }
    if (reason.isEmpty())
        reason = qtMessages.value(0, QStringLiteral("motivo sconosciuto"));
    QString line = QStringLiteral("impossibile aprire la finestra: %1").arg(reason.trimmed());
    if (!package.isEmpty())
        line += QStringLiteral(" (installare il pacchetto %1)").arg(package);
    return line;
}

void startup::prepareProcess()
{
    reserveLess();
    endQuietlyWhenOutOfMemory();
    armWatchdog();
    quietenHarmlessMessages();
}

void startup::dressApplication()
{
    // The icon on X11; on Wayland the compositor finds it by the desktop file.
    QApplication::setWindowIcon(windowIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral(CORRELATOR_APP_ID));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORRELATOR_VERSION));
    installQtTranslations();
    QTimer::singleShot(0, [] { disarmWatchdog(); });
}

bool startup::createWindow(std::optional<Form1> &form, const CommandLine &command)
{
    try {
        form.emplace();
        form->setQuantization(command.quantization);
        form->setSimulation(command.simulateSeconds, command.seed ? *command.seed : randomSeed());
        // Its menu and keys come once the window has shown itself: the
        // first frame is not kept waiting for them.
        QObject::connect(
            &*form, &Form1::firstFrameShown, &*form,
            [window = &*form] { new WindowActions(window, runningImage()); },
            Qt::QueuedConnection);
        return true;
    } catch (...) {
        reportFailure(nullptr, "Form1", std::current_exception());
        return false;
    }
}

startup::HeldQtMessages::HeldQtMessages()
{
    heldBack.clear();
    heldFirstLines.clear();
    passedOn = qInstallMessageHandler(hold); // Qt's own handler when none was set
}

startup::HeldQtMessages::~HeldQtMessages()
{
    qInstallMessageHandler(passedOn);
    std::fputs(heldBack.c_str(), stderr);
}

void startup::HeldQtMessages::discard()
{
    heldBack.clear();
}

