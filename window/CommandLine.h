#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// What the program was asked to do on its command line. With no arguments
// it opens the window; Qt's own options are not taken.
struct CommandLine {
    enum class Action { Window, Help, Version, Export, Refuse };
    enum class Format { Png, Csv };

    Action action = Action::Window;
    // Export: the settings one tick of the window would read, and where to.
    std::int16_t snrDb = 0;
    std::int16_t delayUs = 0;
    QString output;
    Format format = Format::Png;
    // Refuse: one line saying why, without the program's name.
    QString refusal;

    // arguments without the program's name.
    static CommandLine parse(const QStringList &arguments);
    static QString helpText();
    static QString versionText();
};
