#include "app/commandline.h"

#include "simulation/correlator.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

struct Setting {
    const char *name;
    int minimum, maximum;
};

// The bars' ranges: what one tick of the window can be asked to compute.
constexpr Setting kSnr{"snr", -40, 40};
constexpr Setting kDelay{"delay", 0, 300};

// An echoed argument is cut to this many characters.
constexpr qsizetype kShownLength = 40;

CommandLine refuse(const QString &why)
{
    CommandLine refused;
    refused.action = CommandLine::Action::Refuse;
    refused.refusal = why;
    return refused;
}

// An option as the user typed it, for messages: "-qwindowtitle", "--snr".
QString asTyped(const QStringList &arguments, const QString &name)
{
    for (const QString &argument : arguments) {
        const QString option = argument.section(u'=', 0, 0);
        if (option == u'-' + name || option == QLatin1String("--") + name)
            return shown(option);
    }
    return QLatin1String("--") + shown(name);
}

QString parseError(const QCommandLineParser &parser, const QStringList &arguments)
{
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("opzione sconosciuta '%1'")
            .arg(asTyped(arguments, parser.unknownOptionNames().constFirst()));
    // The parser's other errors name the option in quotes.
    static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
    const QString error = parser.errorText();
    QString name = quoted.match(error).captured(1);
    while (name.startsWith(u'-'))
        name.remove(0, 1);
    const QString option = asTyped(arguments, name);
    if (error.startsWith(QLatin1String("Missing value")))
        return QStringLiteral("manca il valore dopo '%1'").arg(option);
    if (error.startsWith(QLatin1String("Unexpected value")))
        return QStringLiteral("'%1' non vuole un valore").arg(option);
    return shown(error);
}

// The one rule for numbers: an optional sign (+, -, or the minus sign
// U+2212), then decimal digits and nothing else; leading zeros do not
// matter. Beyond what 64 bits hold it is no number of any range.
std::optional<std::int64_t> integerOf(QString text)
{
    static const QRegularExpression rule(QRegularExpression::anchoredPattern(QStringLiteral("[+\\-\\x{2212}]?[0-9]+")));
    if (!rule.match(text).hasMatch())
        return std::nullopt;
    text.replace(QChar(0x2212), u'-');
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok ? std::optional<std::int64_t>(value) : std::nullopt;
}

// A seed: an optional +, then decimal digits, up to 2^64 - 1.
std::optional<std::uint64_t> unsignedOf(const QString &text)
{
    static const QRegularExpression rule(QRegularExpression::anchoredPattern(QStringLiteral("\\+?[0-9]+")));
    bool ok = false;
    const qulonglong value = rule.match(text).hasMatch() ? text.toULongLong(&ok) : 0;
    return ok ? std::optional<std::uint64_t>(value) : std::nullopt;
}

// Seconds: an optional +, decimal digits with a decimal point or comma
// among or before them, nothing else.
std::optional<double> secondsOf(const QString &text)
{
    static const QRegularExpression decimal(
        QRegularExpression::anchoredPattern(QStringLiteral(R"(\+?([0-9]+([.,][0-9]*)?|[.,][0-9]+))")));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    QString plain = text;
    plain.replace(u',', u'.');
    bool ok = false;
    const double value = QLocale::c().toDouble(plain, &ok);
    if (!ok || value < simulation::kShortestSeconds || value > simulation::kLongestSeconds)
        return std::nullopt;
    return value;
}

std::optional<model::Levels> levelsOf(const QString &text)
{
    for (const model::Levels levels : model::kAllLevels)
        if (text == QLatin1String(model::optionName(levels)))
            return levels;
    return std::nullopt;
}

std::optional<std::int16_t> settingValue(const QString &text, const Setting &setting)
{
    const std::optional<std::int64_t> value = integerOf(text);
    if (!value || *value < setting.minimum || *value > setting.maximum)
        return std::nullopt;
    return std::int16_t(*value);
}

} // namespace

QString shown(const QString &argument)
{
    QString text;
    for (const QChar c : argument) {
        if (text.size() >= kShownLength) {
            text += QChar(0x2026); // the rest is left out
            break;
        }
        switch (const char16_t u = c.unicode()) {
        case u'\n':
            text += QLatin1String("\\n");
            break;
        case u'\t':
            text += QLatin1String("\\t");
            break;
        case u'\r':
            text += QLatin1String("\\r");
            break;
        default:
            // The control characters of C0 and C1, DEL, and the line and
            // paragraph separators.
            if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029)
                text += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QChar(u'0'));
            else
                text += c;
        }
    }
    return text;
}

// Bytes as text for a message: what is valid UTF-8 as it stands, each
// byte that is not as \xNN, so that the user sees which byte it was.
static QString bytesShown(const QByteArray &bytes)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = uchar(bytes[i]);
        const qsizetype length = lead < 0x80 ? 1 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
        const QByteArray sequence = bytes.mid(i, length);
        const QString decoded = QString::fromUtf8(sequence);
        if (lead >= 0x80 && (sequence.size() < length || decoded.toUtf8() != sequence || length == 1)) {
            text += QStringLiteral("\\x%1").arg(unsigned(lead), 2, 16, QChar(u'0'));
            ++i;
        } else {
            text += decoded;
            i += length;
        }
    }
    return text;
}

CommandLine CommandLine::fromMain(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        const QString argument = QString::fromLocal8Bit(bytes);
        // A file name that does not read back as the same bytes would be
        // written under another name.
        if (argument.toLocal8Bit() != bytes)
            return refuse(QStringLiteral("l'argomento '%1' non è testo valido nella codifica del sistema (UTF-8)")
                              .arg(shown(bytesShown(bytes))));
        arguments << argument;
    }
    return parse(arguments);
}

// What goes to standard output must get there: a full disk or a closed
// pipe is said, not ignored.
int CommandLine::answer() const
{
    const auto print = [](const QString &text) {
        errno = 0;
        if (std::fputs(text.toUtf8().constData(), stdout) >= 0 && std::fflush(stdout) == 0)
            return int(EXIT_SUCCESS);
        std::fprintf(stderr, "correlator: impossibile scrivere su standard output: %s\n",
                     std::strerror(errno ? errno : EIO));
        return int(EXIT_FAILURE);
    };
    switch (action) {
    case Action::Help:
        return print(helpText());
    case Action::Version:
        return print(versionText());
    case Action::Refuse:
        std::fprintf(stderr, "correlator: %s; vedere 'correlator --help'.\n", qUtf8Printable(refusal));
        return 2;
    case Action::Window:
    case Action::Export:
    case Action::Efficiency:
        break;
    }
    return EXIT_FAILURE;
}

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption snr(QString::fromLatin1(kSnr.name), QString(), QStringLiteral("DB"));
    const QCommandLineOption delay(QString::fromLatin1(kDelay.name), QString(), QStringLiteral("US"));
    const QCommandLineOption output(QStringLiteral("output"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption simulate(QStringLiteral("simulate"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption seed(QStringLiteral("seed"), QString(), QStringLiteral("N"));
    const QCommandLineOption levels(QStringLiteral("levels"), QString(), QStringLiteral("N"));
    const QCommandLineOption vanVleck(QStringLiteral("van-vleck"));
    const QCommandLineOption efficiency(QStringLiteral("efficiency"));
    parser.addOptions({help, version, snr, delay, output, simulate, seed, levels, vanVleck, efficiency});

    if (!parser.parse(QStringList{QStringLiteral("correlator")} + arguments))
        return refuse(parseError(parser, arguments));
    // In "--snr --output x.png" the parser takes "--output" for the value.
    const QList<const QCommandLineOption *> all{&help,   &version, &snr,     &delay,     &output,
                                                &simulate, &seed, &levels, &vanVleck, &efficiency};
    for (const QCommandLineOption *option : all)
        for (const QString &value : parser.values(*option)) {
            QString name = value.section(u'=', 0, 0);
            if (!name.startsWith(u'-'))
                continue;
            while (name.startsWith(u'-'))
                name.remove(0, 1);
            if (std::any_of(all.begin(), all.end(), [&](const QCommandLineOption *o) { return o->names().contains(name); }))
                return refuse(QStringLiteral("manca il valore dopo '%1'").arg(asTyped(arguments, option->names().constFirst())));
        }
    if (!parser.positionalArguments().isEmpty())
        return refuse(
            QStringLiteral("argomento non previsto '%1'").arg(shown(parser.positionalArguments().constFirst())));

    CommandLine command;
    if (parser.isSet(help)) {
        command.action = Action::Help;
        return command;
    }
    if (parser.isSet(version)) {
        command.action = Action::Version;
        return command;
    }
    for (const QCommandLineOption *option : {&snr, &delay, &output, &simulate, &seed, &levels})
        if (parser.values(*option).size() > 1)
            return refuse(QStringLiteral("'%1' è dato più volte").arg(asTyped(arguments, option->names().constFirst())));

    // The efficiencies are a table of their own: nothing to set.
    if (parser.isSet(efficiency)) {
        for (const QCommandLineOption *option : all)
            if (option != &efficiency && parser.isSet(*option))
                return refuse(QStringLiteral("--efficiency non vuole altre opzioni, come '%1'")
                                  .arg(asTyped(arguments, option->names().constFirst())));
        command.action = Action::Efficiency;
        return command;
    }
    if (parser.isSet(levels)) {
        const std::optional<model::Levels> chosen = levelsOf(parser.value(levels));
        if (!chosen)
            return refuse(QStringLiteral("--levels vuole 2, 3, 4 o analog, non '%1'").arg(shown(parser.value(levels))));
        command.quantization.levels = *chosen;
    }
    command.quantization.vanVleck = parser.isSet(vanVleck);

    if (parser.isSet(seed) && !parser.isSet(simulate))
        return refuse(QStringLiteral("--seed vale solo con --simulate SECONDI"));
    if (parser.isSet(simulate)) {
        command.simulateSeconds = secondsOf(parser.value(simulate));
        if (!command.simulateSeconds)
            return refuse(QStringLiteral("--simulate vuole una durata in secondi da 0.01 a 600, non '%1'")
                              .arg(shown(parser.value(simulate))));
    }
    if (parser.isSet(seed)) {
        command.seed = unsignedOf(parser.value(seed));
        if (!command.seed)
            return refuse(QStringLiteral("--seed vuole un numero intero da 0 a %1, non '%2'")
                              .arg(UINT64_MAX)
                              .arg(shown(parser.value(seed))));
    }

    if (!parser.isSet(output)) {
        if (parser.isSet(snr) || parser.isSet(delay))
            return refuse(QStringLiteral("--snr e --delay valgono solo con --output FILE"));
        return command;
    }

    command.action = Action::Export;
    const std::pair<const QCommandLineOption *, const Setting *> settings[] = {{&snr, &kSnr}, {&delay, &kDelay}};
    for (const auto &[option, setting] : settings) {
        if (!parser.isSet(*option))
            continue;
        const QString text = parser.value(*option);
        const std::optional<std::int16_t> value = settingValue(text, *setting);
        if (!value)
            return refuse(QStringLiteral("%1 vuole un numero intero da %2 a %3, non '%4'")
                              .arg(asTyped(arguments, option->names().constFirst()))
                              .arg(setting->minimum)
                              .arg(setting->maximum)
                              .arg(shown(text)));
        (setting == &kSnr ? command.snrDb : command.delayUs) = *value;
    }

    command.output = parser.value(output);
    const QString suffix = QFileInfo(command.output).suffix().toLower();
    if (command.output.isEmpty())
        return refuse(QStringLiteral("manca il nome del file dopo --output"));
    static constexpr std::pair<const char *, Format> kSuffixes[] = {
        {"png", Format::Png}, {"svg", Format::Svg}, {"pdf", Format::Pdf}, {"csv", Format::Csv}};
    const auto known = std::find_if(std::begin(kSuffixes), std::end(kSuffixes),
                                    [&](const auto &entry) { return suffix == QLatin1String(entry.first); });
    if (known == std::end(kSuffixes))
        return refuse(QStringLiteral("'%1' non finisce in .png, .svg, .pdf o .csv, i formati che correlator scrive")
                          .arg(shown(command.output)));
    command.format = known->second;
    return command;
}

QString CommandLine::versionText()
{
    return QStringLiteral("correlator " CORRELATOR_VERSION "\n");
}

QString CommandLine::helpText()
{
    return QStringLiteral(
        "Uso: correlator [--levels N] [--van-vleck] [--simulate SECONDI [--seed N]]\n"
        "     correlator [--snr DB] [--delay US] [--levels N] [--van-vleck]\n"
        "                [--simulate SECONDI [--seed N]] --output FILE\n"
        "     correlator --efficiency\n"
        "\n"
        "Mostra l'uscita di un correlatore a clipping alimentato con due copie\n"
        "rumorose di uno stesso segnale a banda limitata, al variare del ritardo\n"
        "tra le due. Senza argomenti apre la finestra.\n"
        "\n"
        "  -h, --help        mostra questo aiuto ed esce\n"
        "  -v, --version     mostra la versione ed esce\n"
        "      --output FILE non apre la finestra: scrive in FILE ciò che la\n"
        "                    finestra calcola a un tick con le impostazioni date;\n"
        "                    FILE.png è l'immagine della finestra (769 x 697\n"
        "                    pixel a 96 dpi), FILE.svg e FILE.pdf la stessa\n"
        "                    immagine in vettori, con i testi come testo,\n"
        "                    FILE.csv i 30.000 punti della curva\n"
        "                    (lag_us,correlation)\n"
        "      --snr DB      rapporto segnale/rumore in ingresso, intero da -40\n"
        "                    a 40 dB (0 se omesso); solo con --output\n"
        "      --delay US    ritardo tra i due segnali, intero da 0 a 300\n"
        "                    microsecondi (0 se omesso); solo con --output\n"
        "      --simulate SECONDI\n"
        "                    simula anche il correlatore con SECONDI di segnale\n"
        "                    (da 0.01 a 600): due copie rumorose del segnale,\n"
        "                    quantizzate (a un bit, o come dice --levels) e\n"
        "                    correlate; le stime ai\n"
        "                    ritardi 0, 5, ..., 300 microsecondi sono quadrati\n"
        "                    blu sulla curva e, in un CSV, la terza colonna\n"
        "                    (lag_us,correlation,simulated); nella finestra una\n"
        "                    nuova realizzazione a ogni tick\n"
        "      --seed N      il seme della prima realizzazione, intero da 0 a\n"
        "                    18446744073709551615; le seguenti usano N+1, N+2...\n"
        "                    Senza, la finestra ne prende uno a caso e i file 1.\n"
        "                    Solo con --simulate\n"
        "      --levels N    il correlatore: 2 livelli (1 bit, il segno; il\n"
        "                    predefinito), 3 livelli (-1, 0, +1, soglie a\n"
        "                    +-0,612 sigma), 4 livelli (2 bit: +-1, +-3, soglie a\n"
        "                    0 e +-0,996 sigma) o analog (nessuna quantizzazione)\n"
        "      --van-vleck   la correzione di Van Vleck: la curva e le stime\n"
        "                    riportate alla correlazione degli ingressi\n"
        "      --efficiency  misura con la simulazione l'efficienza di ogni\n"
        "                    quantizzazione e la scrive in CSV su standard\n"
        "                    output (levels,threshold_sigma,outer_level,\n"
        "                    eta_theory,eta_white,eta_signal)\n"
        "\n"
        "Un numero intero è un segno facoltativo (+, - o −) seguito da sole\n"
        "cifre decimali; gli zeri iniziali non contano.\n"
        "\n"
        "Nella finestra, il tasto destro, il tasto Menu o Maiusc+F10 aprono il\n"
        "menu (salva, copia, simulazione, ingrandimento, guida); F1 apre la guida.\n"
        "\n"
        "Esempi:\n"
        "  correlator --snr 10 --delay 150 --output curva.png\n"
        "  correlator --snr 10 --delay 150 --output curva.pdf\n"
        "      per una relazione in LaTeX: \\includegraphics[width=\\linewidth]{curva.pdf}\n"
        "  correlator --simulate 2.6\n"
        "  correlator --snr 10 --delay 150 --simulate 42 --seed 7 --output stime.csv\n"
        "  correlator --levels 4 --van-vleck --simulate 2.6\n"
        "  correlator --efficiency\n"
        "  correlator --snr -20 --output curva.csv\n"
        "\n"
        "Stato di uscita: 0 riuscito, 1 errore (file non scrivibile, display\n"
        "assente), 2 argomenti non validi.\n");
}
