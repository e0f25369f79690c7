#pragma once

#include "model/quantization.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// What the program was asked to do on its command line. With no arguments
// it opens the window; Qt's own options are not taken.
struct CommandLine {
    enum class Action { Window, Help, Version, Export, Efficiency, Refuse };
    enum class Format { Png, Svg, Pdf, Csv };

    Action action = Action::Window;
    // Export: the settings one tick of the window would read, and where to.
    std::int16_t snrDb = 0;
    std::int16_t delayUs = 0;
    QString output;
    Format format = Format::Png;
    // --simulate: seconds of signal for a simulated correlator, and --seed:
    // the first realisation's seed (the window draws one when none is given).
    std::optional<double> simulateSeconds;
    std::optional<std::uint64_t> seed;
    // --levels and --van-vleck: what the curve and the squares show, for
    // the window and for an export.
    model::Quantization quantization;
    // Refuse: one line saying why, without the program's name.
    QString refusal;

    // The command line of main(). An argument that is not valid text in
    // the system's encoding is refused: a file name would not survive it.
    static CommandLine fromMain(int argc, char *argv[]);
    // arguments without the program's name.
    static CommandLine parse(const QStringList &arguments);
    // Help, Version or Refuse: prints what is asked for, or why not, and
    // returns the program's exit status: 1 when standard output cannot
    // take it.
    int answer() const;
    static QString helpText();
    static QString versionText();
};

// An argument as a message echoes it: control characters escaped ("\n",
// "\x1b") and cut short after 40 characters, so that a message stays one
// line of sensible length.
QString shown(const QString &argument);
