#include "serial/DeviceAccess.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

#ifdef Q_OS_UNIX
QString GroupName(gid_t gid) {
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    while (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    return found != nullptr ? QString::fromLocal8Bit(found->gr_name) : QString();
}
#endif

}  // namespace

QString AccessDeniedText(const DeviceAccess& access) {
    if (access.error != EACCES && access.error != EPERM) {
        return {};
    }
    QString named = access.device;
    if (!access.target.isEmpty() && access.target != access.device) {
        named += QStringLiteral(" (%1)").arg(access.target);
    }
    if (access.group.isEmpty() || !access.groupMayUse) {
        return QStringLiteral(
                   "Permission denied: your user may not read and write %1; ask the administrator "
                   "for access to it.")
            .arg(named);
    }
#ifdef Q_OS_LINUX
    const QString join = QStringLiteral("sudo usermod -aG %1 $USER").arg(access.group);
#else
    const QString join = QStringLiteral("ask the administrator");
#endif
    // A membership counts only from the next login, which is what catches most people out.
    return QStringLiteral(
               "Permission denied: %1 is open only to members of group %2. Join the group (%3), "
               "then log out and in again.")
        .arg(named, access.group, join);
}

std::optional<DeviceAccess> CheckDeviceAccess(const QString& device) {
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(device);
    // The effective ids, as open() would use them.
    if (faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) == 0) {
        return std::nullopt;
    }
    DeviceAccess access;
    access.error = errno;
    if (access.error != EACCES && access.error != EPERM) {
        return std::nullopt;
    }
    access.device = device;
    access.target = QFileInfo(device).canonicalFilePath();
    struct stat status {};
    if (stat(path.constData(), &status) == 0) {
        access.group = GroupName(status.st_gid);
        // Joining the superuser's group is no advice to give.
        access.groupMayUse =
            status.st_gid != 0 && (status.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    }
    return access;
#else
    Q_UNUSED(device);
    return std::nullopt;
#endif
}

}  // namespace vantrel
