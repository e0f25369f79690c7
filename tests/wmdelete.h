#pragma once

#include <QString>

// Asks a window to close the way a window manager does: a WM_DELETE_WINDOW
// client message. Fails if the window does not take part in that protocol.
bool sendWmDeleteWindow(const QByteArray &display, unsigned long window, QString *error);
