#include "app/savefile.h"

#include "app/commandline.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("una cartella");
    if (S_ISFIFO(mode))
        return QStringLiteral("una pipe con nome (FIFO)");
    if (S_ISCHR(mode))
        return QStringLiteral("un dispositivo a caratteri");
    if (S_ISBLK(mode))
        return QStringLiteral("un dispositivo a blocchi");
    if (S_ISSOCK(mode))
        return QStringLiteral("un socket");
    return QStringLiteral("un file speciale");
}

QString cannotWrite(const QString &path, int error)
{
    return QStringLiteral("impossibile scrivere '%1': %2").arg(shown(path), QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

// QSaveFile writes beside the destination, syncs and renames; it follows a
// symbolic link, keeps a replaced file's mode and gives a new one the
// umask's. Around it: what is not a regular file is left alone, the group
// is kept, and a failure's reason comes from errno (Qt 6.4 says "Unknown
// error" for a full disk). Unbuffered, so that a write fails where errno
// says why.
std::optional<QString> saveFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat existing {};
    const bool exists = stat(name.constData(), &existing) == 0;
    if (!exists && errno != ENOENT)
        return cannotWrite(path, errno);
    if (exists && !S_ISREG(existing.st_mode))
        return QStringLiteral("'%1' non è un file regolare ma %2: non viene sostituito").arg(shown(path), kindOf(existing.st_mode));
    struct stat link {};
    if (!exists && lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode))
        return QStringLiteral("'%1' è un collegamento simbolico a un file che non esiste: non viene seguito").arg(shown(path));

    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return cannotWrite(path, errno ? errno : EACCES);
    // Where the system lets us: a group the user is not in stays behind.
    if (exists)
        [[maybe_unused]] const int owned =
            fchown(file.handle(), geteuid() == 0 ? existing.st_uid : uid_t(-1), existing.st_gid);
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.commit())
        return cannotWrite(path, errno ? errno : EIO);
    return std::nullopt;
}
