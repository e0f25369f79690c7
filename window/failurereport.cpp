#include "window/failurereport.h"

#include "model/correlation.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

#include <atomic>
#include <cstdio>
#include <new>

namespace {

QString italianFaultName(model::ArithmeticFault::Kind kind)
{
    switch (kind) {
    case model::ArithmeticFault::Kind::DivisionByZero:
        return QStringLiteral("divisione per zero");
    case model::ArithmeticFault::Kind::Overflow:
        return QStringLiteral("overflow");
    case model::ArithmeticFault::Kind::InvalidOperation:
        return QStringLiteral("operazione non valida");
    }
    return QStringLiteral("errore aritmetico");
}

QString reasonOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const model::ArithmeticFault &fault) {
        return italianFaultName(fault.kind());
    } catch (const std::bad_alloc &) {
        return QStringLiteral("memoria insufficiente");
    } catch (const std::exception &other) {
        return QStringLiteral("errore interno (%1)").arg(QString::fromLocal8Bit(other.what()));
    } catch (...) {
        return QStringLiteral("errore sconosciuto");
    }
}

// A modal box on a platform that shows nothing would wait forever.
bool somebodyCanSeeIt()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

std::atomic_bool reported = false;

} // namespace

bool failureReported() noexcept
{
    return reported;
}

void reportFailure(QWidget *parent, const char *where, std::exception_ptr error) noexcept
{
    reported = true;
    try {
        const QString message = QStringLiteral("Errore di esecuzione in %1: %2.")
                                    .arg(QString::fromLatin1(where), reasonOf(error));
        qCritical("correlator: %s", qUtf8Printable(message));
        // A box needs memory of its own; short of it, the line has to do.
        if (somebodyCanSeeIt() && !outOfMemory(error))
            QMessageBox::critical(parent, QStringLiteral("Form1"),
                                  message + QStringLiteral("\nIl programma verrà chiuso."));
    } catch (...) {
        std::fprintf(stderr, "correlator: Errore di esecuzione in %s: memoria insufficiente.\n", where);
    }
}

bool outOfMemory(std::exception_ptr error) noexcept
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc &) {
        return true;
    } catch (...) {
        return false;
    }
}
