// What can stop the window from opening, said in one line.
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace startup {

// Whether the environment names any display to open the window on; when it
// does not, says so on stderr. Qt would abort with a core dump instead.
bool displayConfigured();

// The one line that says why Qt could not start, from the first lines of
// Qt's own messages, its fatal one last: Qt's reason, and the Debian
// package to install when the platform plugin it needs is missing.
QString failureLine(const QStringList &qtMessages);

// While Qt connects to the display its messages are held back: if the
// connection fails they become failureLine() and the program ends with
// status 1 instead of Qt's abort; if it succeeds they are passed on.
class HeldQtMessages {
public:
    HeldQtMessages();
    ~HeldQtMessages();
    HeldQtMessages(const HeldQtMessages &) = delete;
    HeldQtMessages &operator=(const HeldQtMessages &) = delete;
};

// The window's icon on X11, from raw pixels: decoding a PNG would first
// have Qt look through every image format plugin.
QIcon windowIcon();

// Qt's own texts (a scroll bar's menu, the buttons of a message box) in the
// user's language; the window's texts are Italian whatever it is.
void installQtTranslations();

} // namespace startup
