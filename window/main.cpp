#include "CommandLine.h"
#include "Export.h"
#include "Form1.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

// Qt aborts with a core dump when it cannot reach any display; say plainly
// what is missing instead.
bool displayConfigured()
{
    if (!environment("DISPLAY").empty() || !environment("WAYLAND_DISPLAY").empty()
        || !environment("QT_QPA_PLATFORM").empty())
        return true;
    std::fputs("correlator: nessun display grafico (DISPLAY e WAYLAND_DISPLAY non sono impostati); "
               "avviare il programma da una sessione grafica X11 o Wayland.\n",
               stderr);
    return false;
}

// While the application connects to the display, Qt's messages are held
// back: if the connection fails they become one line instead of a
// cascade ending in an abort; if it succeeds they are passed on.
QtMessageHandler qtHandler = nullptr;
std::string heldBack;
std::vector<std::string> heldFirstLines;

bool qtSaid(const std::string &fragment)
{
    return std::any_of(heldFirstLines.begin(), heldFirstLines.end(),
                       [&](const std::string &line) { return line.find(fragment) != std::string::npos; });
}

bool pluginMissing(const std::string &plugin)
{
    return qtSaid("Could not find the Qt platform plugin \"" + plugin + "\"");
}

// Qt's first word on why, past its notes on plugins it skipped.
std::string qtReason()
{
    for (const std::string &line : heldFirstLines)
        if (line.find("Could not find the Qt platform plugin") == std::string::npos)
            return line;
    return heldFirstLines.empty() ? "motivo sconosciuto" : heldFirstLines.front();
}

// What failed, named after what the environment asked for: a platform
// chosen with QT_QPA_PLATFORM, a Wayland compositor, or an X display.
std::string whatFailed()
{
    const std::string requested = environment("QT_QPA_PLATFORM");
    const std::string display = environment("DISPLAY");
    const std::string wayland = environment("WAYLAND_DISPLAY");
    if (!requested.empty()) {
        const std::string plugin = requested.substr(0, requested.find(':'));
        if (pluginMissing(plugin))
            return "la piattaforma grafica \"" + plugin + "\" scelta con QT_QPA_PLATFORM non è installata";
        return "impossibile avviare la piattaforma grafica \"" + plugin + "\": " + qtReason();
    }
    if (display.empty() && !wayland.empty()) {
        const std::string socket = wayland.front() == '/' ? wayland : environment("XDG_RUNTIME_DIR") + '/' + wayland;
        if (pluginMissing("wayland"))
            return "il compositore Wayland \"" + socket + "\" (WAYLAND_DISPLAY) richiede il supporto "
                   "Wayland di Qt, che non è installato (pacchetto qt6-wayland), e DISPLAY non è impostato";
        return "impossibile collegarsi al compositore Wayland \"" + socket + "\": " + qtReason();
    }
    if (pluginMissing("xcb"))
        return "il supporto X11 di Qt non è installato (pacchetto qt6-qpa-plugins)";
    return "impossibile aprire la finestra sul display \"" + display + "\": " + qtReason();
}

void startupMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        heldBack += qFormatLogMessage(type, context, message).toStdString() + '\n';
        heldFirstLines.push_back(message.section(u'\n', 0, 0).toStdString());
        return;
    }
    if (heldFirstLines.empty())
        heldFirstLines.push_back(message.section(u'\n', 0, 0).toStdString());
    std::fprintf(stderr, "correlator: %s\n", whatFailed().c_str());
    _exit(EXIT_FAILURE);
}

// Qt's own texts (a scroll bar's menu, the buttons of a message box) in
// the user's language; the window's texts are Italian whatever it is.
void installQtTranslations(QTranslator &translator)
{
    if (translator.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
}

// The window, as long as it is open.
int runWindow(char *programName)
{
    if (!displayConfigured())
        return EXIT_FAILURE;
    // Qt's own options (-platform, -reverse, -qwindowtitle...) are not
    // taken from the command line; the environment still chooses the platform.
    int qtArgc = 1;
    char *qtArgv[] = {programName, nullptr};
    qtHandler = qInstallMessageHandler(startupMessages);
    QApplication app(qtArgc, qtArgv);
    qInstallMessageHandler(qtHandler);
    std::fputs(heldBack.c_str(), stderr);

    // The icon on X11; on Wayland the compositor finds it by the desktop file.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/correlator.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral(CORRELATOR_APP_ID));
    QTranslator qtTranslator;
    installQtTranslations(qtTranslator);

    std::optional<Form1> form;
    try {
        form.emplace();
    } catch (...) {
        Form1::reportFailure(nullptr, "Form1", std::current_exception());
        return EXIT_FAILURE;
    }
    form->show(); // runs the first repaint, which may fail too
    if (form->hasFailed())
        return EXIT_FAILURE;
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine command = CommandLine::parse(arguments);

    switch (command.action) {
    case CommandLine::Action::Help:
        std::fputs(CommandLine::helpText().toUtf8().constData(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Action::Version:
        std::fputs(CommandLine::versionText().toUtf8().constData(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Action::Refuse:
        std::fprintf(stderr, "correlator: %s; vedere 'correlator --help'.\n", qUtf8Printable(command.refusal));
        return 2;
    case CommandLine::Action::Export:
        return exportFigure(command, argv[0]);
    case CommandLine::Action::Window:
        break;
    }
    return runWindow(argv[0]);
}
