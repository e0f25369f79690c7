#include "Form1.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
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

QtMessageHandler qtHandler = nullptr;

// A display that is named but cannot be opened ends in qFatal: report it in
// one line and exit normally, without the abort.
void startupMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        if (qtHandler)
            qtHandler(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
        return;
    }
    std::fprintf(stderr, "correlator: impossibile aprire la finestra: %s\n",
                 qUtf8Printable(message.section(u'\n', 0, 0)));
    _exit(EXIT_FAILURE);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayConfigured())
        return EXIT_FAILURE;
    qtHandler = qInstallMessageHandler(startupMessages);

    QApplication app(argc, argv);
    Form1 form;
    form.show();
    return app.exec();
}
