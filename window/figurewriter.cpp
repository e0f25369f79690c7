#include "window/figurewriter.h"

#include "window/form1.h"

#include <QEvent>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include <utility>

namespace {

// How long closing waits for a figure: a figure takes a fraction of a
// second, and the writer simulates the squares on screen again, some 2 ms
// a second of signal; twice that, for a busy machine.
constexpr int kPatienceMs = 1000;
constexpr double kPatienceMsPerSecond = 4;

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
    : QObject(form), form_(form), program_(program), patience_(new QTimer(this))
{
    patience_->setSingleShot(true);
    connect(patience_, &QTimer::timeout, this, &FigureWriter::giveUp);
    form_->installEventFilter(this);
}

void FigureWriter::write(const QString &path, Done done)
{
    const Form1::Shown shown = form_->shown();
    QStringList arguments{QStringLiteral("--snr"), QString::number(shown.settings.snrDb), QStringLiteral("--delay"),
                          QString::number(shown.settings.delayUs)};
    if (!shown.simulated.empty())
        arguments << QStringLiteral("--simulate") << QString::number(shown.seconds, 'g', 17)
                  << QStringLiteral("--seed") << QString::number(shown.seed);
    if (shown.quantization.levels != model::Quantization{}.levels)
        arguments << QStringLiteral("--levels") << QLatin1String(model::optionName(shown.quantization.levels));
    if (shown.quantization.vanVleck)
        arguments << QStringLiteral("--van-vleck");
    arguments << QStringLiteral("--output") << path;
    patience_->setInterval(kPatienceMs + int(kPatienceMsPerSecond * (shown.simulated.empty() ? 0 : shown.seconds)));
    auto *writer = new QProcess(this);
    writers_ << writer;
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
    writers_.removeOne(writer);
    writer->disconnect(this);
    writer->deleteLater();
    done(failure);
    if (closing_ && writers_.isEmpty()) {
        patience_->stop();
        form_->close();
    }
}

// The window closes once the figures are written, or once the patience is
// out and it has said that they were not.
bool FigureWriter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != form_ || event->type() != QEvent::Close || writers_.isEmpty())
        return QObject::eventFilter(watched, event);
    event->ignore();
    if (!std::exchange(closing_, true))
        patience_->start();
    return true;
}

void FigureWriter::giveUp()
{
    for (QProcess *writer : std::exchange(writers_, {})) {
        writer->disconnect(this);
        writer->kill();
        writer->waitForFinished();
        writer->deleteLater();
    }
    QMessageBox::warning(form_, kFigureNotWritten,
                         QStringLiteral("la finestra si è chiusa prima che la figura fosse scritta"));
    form_->close();
}
