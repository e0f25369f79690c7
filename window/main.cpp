#include "Form1.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

bool environmentHas(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

// Qt aborts with a core dump when it cannot reach any display; say plainly
// what is missing instead.
bool displayConfigured()
{
    if (environmentHas("DISPLAY") || environmentHas("WAYLAND_DISPLAY") || environmentHas("QT_QPA_PLATFORM"))
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
std::string firstHeldBack;

void startupMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const std::string text = qFormatLogMessage(type, context, message).toStdString();
    if (type != QtFatalMsg) {
        heldBack += text + '\n';
        if (firstHeldBack.empty())
            firstHeldBack = message.section(u'\n', 0, 0).toStdString();
        return;
    }
    const char *display = std::getenv("DISPLAY");
    std::fprintf(stderr, "correlator: impossibile aprire la finestra sul display \"%s\": %s\n",
                 display ? display : "", (firstHeldBack.empty() ? text : firstHeldBack).c_str());
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

} // namespace

int main(int argc, char *argv[])
{
    if (!displayConfigured())
        return EXIT_FAILURE;
    qtHandler = qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);
    std::fputs(heldBack.c_str(), stderr);

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
