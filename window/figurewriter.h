// The figure on screen, written by the program itself exactly as its
// --output writes it for the settings and the squares on screen: a
// realisation is the same for the same seed, whatever the cores. It runs
// beside the window, which goes on ticking, and closing the window waits
// for it.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class Form1;
class QProcess;
class QTimer;

// The title of every box that says a figure was not written.
inline const QString kFigureNotWritten = QStringLiteral("Figura non scritta");

class FigureWriter : public QObject {
    Q_OBJECT

public:
    // program: the binary whose --output writes the figures, this
    // program's own running image.
    FigureWriter(Form1 *form, const QString &program);

    // Writes the figure on screen to path. done(failure) runs once the
    // program is through: failure is empty when the file is written, and
    // otherwise the line that says why not, as the command line says it.
    using Done = std::function<void(const QString &failure)>;
    void write(const QString &path, Done done);

protected:
    // Holds the window's closing while a figure is being written.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void finished(QProcess *writer, const QString &failure, const Done &done);
    void giveUp();

    Form1 *form_;
    QString program_;
    QList<QProcess *> writers_;
    QTimer *patience_;
    bool closing_ = false;
};
