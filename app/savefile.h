#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Writes bytes to path whole or not at all: into a new file beside it,
// synced, then renamed over it. A symbolic link keeps pointing where it
// did, at the new contents; a file that is replaced keeps its mode, and its
// group (and, for root, its owner) where the system lets the user set them.
// A destination that exists and is not a regular file (a directory, a
// FIFO, a device) is left alone. Returns nothing on success, or one line
// saying why not, ending in the system's reason.
std::optional<QString> saveFile(const QString &path, const QByteArray &bytes);
