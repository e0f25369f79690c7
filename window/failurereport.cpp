#include "failurereport.h"

#include "correlation.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

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

} // namespace

void reportFailure(QWidget *parent, const char *where, std::exception_ptr error)
{
    const QString message = QStringLiteral("Errore di esecuzione in %1: %2.")
                                .arg(QString::fromLatin1(where), reasonOf(error));
    qCritical("correlator: %s", qUtf8Printable(message));
    if (somebodyCanSeeIt())
        QMessageBox::critical(parent, QStringLiteral("Form1"), message + QStringLiteral("\nIl programma verrà chiuso."));
}
