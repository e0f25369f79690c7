#include "commandline.h"
#include "export.h"
#include "failurereport.h"
#include "form1.h"
#include "startup.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>

int main(int argc, char *argv[])
{
    // Read before Qt sees it: Qt's own options are refused, not taken.
    const CommandLine command = CommandLine::fromMain(argc, argv);
    if (command.action != CommandLine::Action::Window)
        return command.action == CommandLine::Action::Export ? exportFigure(command, argv[0]) : command.answer();
    if (!startup::displayConfigured())
        return EXIT_FAILURE;
    startup::reserveLess();
    startup::endQuietlyWhenOutOfMemory();
    startup::armWatchdog();

    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    std::optional<startup::HeldQtMessages> held(std::in_place);
    QApplication app(qtArgc, qtArgv);
    // The icon on X11; on Wayland the compositor finds it by the desktop file.
    QApplication::setWindowIcon(startup::windowIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral(CORRELATOR_APP_ID));
    startup::installQtTranslations();

    std::optional<Form1> form;
    try {
        form.emplace();
        if (command.simulateSeconds)
            form->setSimulation(*command.simulateSeconds, command.seed ? *command.seed : startup::randomSeed());
    } catch (...) {
        reportFailure(nullptr, "Form1", std::current_exception());
        held->discard();
        return EXIT_FAILURE;
    }
    QObject::connect(&*form, &Form1::firstFrameShown, [&held] { held.reset(); });
    QTimer::singleShot(0, [] { startup::disarmWatchdog(); });
    form->show(); // may run the first repaint, which may fail too
    const int status = form->hasFailed() ? EXIT_FAILURE : app.exec();
    if (form->hasFailed() && held)
        held->discard();
    return status;
}
