// Opens refused to an ordinary user, and what the program tells them to do about it. Only the
// superuser can hand a device to another group and run the open as someone else, so these
// run apart from the rest of the suite.

#include "mscomm.h"
#include "port_explanation.h"
#include "prerequisite.h"
#include "pseudo_terminal.h"

#include <QFile>
#include <QSysInfo>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The superuser may open anything and remove any lock, so each open is tried as an ordinary
// user, in a child process.
TEST(FailingDevices, AnOpenRefusedToAnOrdinaryUserNamesTheRemedy)
{
    ZELVAX_REQUIRE(::geteuid() == 0, "the superuser, to give a device to another group");
    PseudoTerminal line;
    const QByteArray device = line.devicePath().toLocal8Bit();
    const group* dialout = ::getgrnam("dialout");
    ASSERT_TRUE(dialout);
    // A lock left by another user's program that was killed: it names a process that no
    // longer runs, in a folder where only its owner may remove it.
    const QString staleLock =
        QStringLiteral("/var/lock/LCK..") + line.devicePath().mid(5).replace(u'/', u'_');
    const struct
    {
        mode_t mode;
        gid_t group;
        bool locked;
        PortProblem problem;
        QString remedy;
    } cases[] = {
        {0660, dialout->gr_gid, false, PortProblem::PermissionDenied,
         QStringLiteral(u"„dialout“: přidejte se")},
        // Just after a replug, before udev has given the node its group: never "join root".
        {0600, 0, false, PortProblem::PermissionDenied, QStringLiteral(u"Počkejte chvíli")},
        {0666, 0, true, PortProblem::Busy, QStringLiteral(u"sudo rm ") + staleLock},
    };
    for (const auto& [mode, group, locked, problem, remedy] : cases) {
        SCOPED_TRACE(remedy.toStdString());
        ASSERT_EQ(::chown(device.constData(), ::geteuid(), group), 0);
        ASSERT_EQ(::chmod(device.constData(), mode), 0);
        QFile lock(staleLock);
        if (locked) {
            ASSERT_TRUE(lock.open(QIODevice::WriteOnly)) << "needs the superuser";
            lock.write("999999\nzelvax\n" + QSysInfo::machineHostName().toUtf8() + "\n");
            lock.close();
        }
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(2);
            qputenv("ZELVAX_COM1", device);
            MSComm port;
            const bool opened =
                port.setSettings(QStringLiteral("9600,N,8,1")) && port.setPortOpen(true);
            const bool explained = port.report().problem == problem &&
                                   portFailureExplanation(port.report()).contains(remedy);
            ::_exit(!opened && !port.portOpen() && !port.inBufferCount() && explained ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (locked)
            lock.remove();
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}
