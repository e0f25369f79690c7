#include "app/commandline.h"
#include "app/export.h"
#include "app/startup.h"
#include "window/form1.h"

#include <QApplication>

#include <cstdlib>
#include <optional>

int main(int argc, char *argv[])
{
    // Read before Qt sees it: Qt's own options are refused, not taken.
    const CommandLine command = CommandLine::fromMain(argc, argv);
    if (command.action == CommandLine::Action::Export)
        return exportFigure(command, argv[0]);
    if (command.action == CommandLine::Action::Efficiency)
        return printEfficiencies();
    if (command.action != CommandLine::Action::Window)
        return command.answer();
    if (!startup::displayConfigured())
        return EXIT_FAILURE;
    startup::prepareProcess();

    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    std::optional<startup::HeldQtMessages> held(std::in_place);
    QApplication app(qtArgc, qtArgv);
    startup::dressApplication();
    std::optional<Form1> form;
    if (!startup::createWindow(form, command)) {
        held->discard();
        return EXIT_FAILURE;
    }
    QObject::connect(&*form, &Form1::firstFrameShown, [&held] { held.reset(); });
    form->show(); // may run the first repaint, which may fail too
    const int status = form->hasFailed() ? EXIT_FAILURE : app.exec();
    if (form->hasFailed() && held)
        held->discard();
    return status;
}
