#include "window/figurewriter.h"

#include "window/form1.h"

#include <QProcess>

namespace {

// The program's own line, without the name it begins with.
QString failureOf(QProcess &writer)
{
    static const QLatin1String prefix("correlator: ");
    QString line = QString::fromUtf8(writer.readAllStandardError()).section(u'\n', 0, 0);
    if (line.startsWith(prefix))
        line.remove(0, prefix.size());
    if (line.isEmpty())
        line = QStringLiteral("il programma che scrive la figura non ha concluso (%1)").arg(writer.errorString());
    return line;
}

} // namespace

FigureWriter::FigureWriter(Form1 *form, const QString &program)
    : QObject(form), form_(form), program_(program)
{
}

void FigureWriter::write(const QString &path, Done done)
{
    const Form1::Shown shown = form_->shown();
    QStringList arguments{QStringLiteral("--snr"), QString::number(shown.settings.snrDb), QStringLiteral("--delay"),
                          QString::number(shown.settings.delayUs)};
    if (!shown.simulated.empty())
        arguments << QStringLiteral("--simulate") << QString::number(shown.seconds, 'g', 17)
                  << QStringLiteral("--seed") << QString::number(shown.seed);
    arguments << QStringLiteral("--output") << path;
    auto *writer = new QProcess(this);
    connect(writer, &QProcess::finished, this, [this, writer, done](int status, QProcess::ExitStatus how) {
        finished(writer, how == QProcess::NormalExit && status == 0 ? QString() : failureOf(*writer), done);
    });
    // A program that does not start never finishes.
    connect(writer, &QProcess::errorOccurred, this, [this, writer, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finished(writer, failureOf(*writer), done);
    });
    writer->start(program_, arguments);
}

void FigureWriter::finished(QProcess *writer, const QString &failure, const Done &done)
{
    writer->disconnect(this);
    writer->deleteLater();
    done(failure);
}
