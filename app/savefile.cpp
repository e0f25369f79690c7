#include "savefile.h"

#include "commandline.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
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

// The temporary file beside the destination, removed unless it was renamed.
class Temporary {
public:
    explicit Temporary(const QByteArray &destination)
    {
        const qsizetype slash = destination.lastIndexOf('/');
        name_ = slash < 0 ? "." + destination : destination.left(slash + 1) + "." + destination.mid(slash + 1);
        name_ += ".XXXXXX";
        fd_ = mkostemp(name_.data(), O_CLOEXEC);
    }
    ~Temporary()
    {
        if (fd_ >= 0)
            close(fd_);
        if (!renamed_)
            unlink(name_.constData());
    }
    Temporary(const Temporary &) = delete;
    Temporary &operator=(const Temporary &) = delete;

    int fd() const { return fd_; }
    bool writeAll(const QByteArray &bytes)
    {
        const char *at = bytes.constData();
        for (qsizetype left = bytes.size(); left > 0;) {
            const ssize_t written = write(fd_, at, std::size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            at += written;
            left -= written;
        }
        return true;
    }
    bool closeFile()
    {
        const int fd = std::exchange(fd_, -1);
        return close(fd) == 0;
    }
    bool renameTo(const QByteArray &destination)
    {
        renamed_ = rename(name_.constData(), destination.constData()) == 0;
        return renamed_;
    }

private:
    QByteArray name_;
    int fd_ = -1;
    bool renamed_ = false;
};

} // namespace

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

    // What is replaced is a symbolic link's target, so that the link stays.
    QByteArray destination = name;
    if (exists) {
        const std::unique_ptr<char, decltype(&std::free)> real(realpath(name.constData(), nullptr), &std::free);
        if (!real)
            return cannotWrite(path, errno);
        destination = real.get();
    }

    Temporary file(destination);
    if (file.fd() < 0)
        return cannotWrite(path, errno);
    if (exists) {
        // Where the system lets us: a group the user is not in stays behind.
        [[maybe_unused]] const int owned =
            fchown(file.fd(), geteuid() == 0 ? existing.st_uid : uid_t(-1), existing.st_gid);
        if (fchmod(file.fd(), existing.st_mode & 07777) != 0)
            return cannotWrite(path, errno);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        if (fchmod(file.fd(), 0666 & ~mask) != 0)
            return cannotWrite(path, errno);
    }
    errno = 0; // a refused fchown above is no reason for what follows
    if (!file.writeAll(bytes) || fsync(file.fd()) != 0 || !file.closeFile() || !file.renameTo(destination))
        return cannotWrite(path, errno ? errno : EIO);
    return std::nullopt;
}
