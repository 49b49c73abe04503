#include "app/settings.h"
#include "platform/readsettingsfile.h"
#include "platform/replacefile.h"
#include "support/sandbox.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using kalveno::ConsoleSettings;
using kalveno::SettingsFileRead;
using kalveno::test::readFile;

namespace {

// Root reads and writes a file whatever its mode. With these two capabilities out of effect it
// meets permissions as any user does; they stay permitted and are back at the end of the scope.
class AsAnOrdinaryUser
{
public:
    AsAnOrdinaryUser()
    {
        ::syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~AsAnOrdinaryUser() { ::syscall(SYS_capset, &m_header, m_saved); }
    bool dropped = false;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
};

bool writeFile(const QString &path, const QByteArray &content, int mode)
{
    return kalveno::test::TemporaryConfig::write(path, content) &&
           ::chmod(QFile::encodeName(path), mode) == 0;
}

// Puts at path one of the things that the console may meet where its file should be.
bool make(const QString &kind, const QString &path, const QByteArray &content)
{
    const QByteArray name = QFile::encodeName(path);
    if (kind == u"none")
        return true;
    if (kind == u"fifo")
        return ::mkfifo(name, 0644) == 0;
    if (kind == u"device")
        return ::symlink("/dev/zero", name) == 0;
    if (kind == u"loop")
        return ::symlink(name + ".b", name) == 0 && ::symlink(name, name + ".b") == 0;
    if (kind == u"dangling")
        return ::symlink("nowhere", name) == 0;
    const bool link = kind.contains(u"link");
    const int mode = kind == u"mode 000" ? 0 : kind == u"read-only" ? 0444 : 0644;
    if (!writeFile(link ? path + u".target"_s : path, content, mode))
        return false;
    if (kind == u"link")
        return QFile::link(path + u".target"_s, path);
    if (kind == u"relative link")
        return ::symlink("KALVENO.CFG.target", name) == 0;
    if (kind == u"link to a link")
        return ::symlink("KALVENO.CFG.2", name) == 0 &&
               ::symlink("KALVENO.CFG.target", name + ".2") == 0;
    return true;
}

// What a folder holds, each entry with its kind, mode and link target or content: equal
// snapshots mean that nothing in it was touched. Only regular files are read, never a FIFO.
QStringList snapshot(const QString &folder)
{
    QStringList entries;
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::System |
                                                     QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString path = folder + u'/' + name;
        struct stat s = {};
        ::lstat(QFile::encodeName(path), &s);
        QString what = u"%1 %2 "_s.arg(name).arg(s.st_mode, 0, 8);
        if (S_ISLNK(s.st_mode))
            what += QFile::symLinkTarget(path);
        else if (S_ISREG(s.st_mode))
            what += QString::fromLatin1(readFile(path));
        entries << what;
    }
    return entries;
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void awkwardFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("replaced");
        constexpr qsizetype limit = ConsoleSettings::ReadLimit;
        constexpr int missing = SettingsFileRead::Missing;
        constexpr int read = SettingsFileRead::Read;
        constexpr int unreadable = SettingsFileRead::Unreadable;
        QTest::newRow("missing") << u"none"_s << limit << missing << true;
        QTest::newRow("as long as the limit") << u"file"_s << limit << read << true;
        QTest::newRow("a byte too long") << u"file"_s << limit + 1 << unreadable << true;
        QTest::newRow("link") << u"link"_s << limit << read << true;
        QTest::newRow("relative link") << u"relative link"_s << limit << read << true;
        QTest::newRow("link to a link") << u"link to a link"_s << limit << read << true;
        QTest::newRow("dangling link") << u"dangling"_s << limit << unreadable << true;
        QTest::newRow("read-only") << u"read-only"_s << limit << read << false;
        QTest::newRow("permission denied") << u"mode 000"_s << limit << unreadable << false;
        QTest::newRow("fifo") << u"fifo"_s << limit << unreadable << false;
        QTest::newRow("link to /dev/zero") << u"device"_s << limit << unreadable << false;
        QTest::newRow("loop of links") << u"loop"_s << limit << unreadable << false;
    }

    // Each thing is read as by an ordinary user at start-up, then replaced as by root at close.
    void awkwardFiles()
    {
        QFETCH(QString, kind);
        QFETCH(qsizetype, size);
        QFETCH(int, status);
        QFETCH(bool, replaced);
        const QString path = freshPath();
        const QString folder = QFileInfo(path).path();
        QVERIFY(make(kind, path, QByteArray(size, 'x')));
        const QStringList before = snapshot(folder);
        {
            AsAnOrdinaryUser user;
            QVERIFY(user.dropped);
            const SettingsFileRead read =
                kalveno::readSettingsFile(path, ConsoleSettings::ReadLimit);
            QCOMPARE(int(read.status), status);
            QCOMPARE(read.content.size(), status == SettingsFileRead::Read ? size : 0);
            QCOMPARE(read.why.isEmpty(), status != SettingsFileRead::Unreadable);
            QCOMPARE(ConsoleSettings::load(path).readProblem, read.why);
        }

        const bool wasLink = QFileInfo(path).isSymLink();
        QString error;
        QCOMPARE(kalveno::replaceFile(path, "new", &error), replaced);
        QCOMPARE(error.isEmpty(), replaced);
        if (replaced) {
            QCOMPARE(readFile(path), "new");
            QCOMPARE(QFileInfo(path).isSymLink(), wasLink);
        } else {
            QCOMPARE(snapshot(folder), before);
        }
    }

    void keepsPermissions_data()
    {
        QTest::addColumn<int>("oldMode"); // -1: no file yet
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("newMode");
        QTest::newRow("0644 kept") << 0644 << 077 << 0644;
        QTest::newRow("0640 kept") << 0640 << 022 << 0640;
        QTest::newRow("new file, umask 022") << -1 << 022 << 0644;
        QTest::newRow("new file, umask 027") << -1 << 027 << 0640;
    }

    void keepsPermissions()
    {
        QFETCH(int, oldMode);
        QFETCH(int, umask);
        QFETCH(int, newMode);
        const QString path = freshPath();
        if (oldMode >= 0)
            QVERIFY(writeFile(path, "old", oldMode));
        const mode_t previous = ::umask(umask);
        const auto restore = qScopeGuard([previous] { ::umask(previous); });

        QString error;
        QVERIFY2(kalveno::replaceFile(path, "new", &error), qPrintable(error));
        QCOMPARE(readFile(path), "new");
        struct stat s = {};
        QCOMPARE(::stat(QFile::encodeName(path), &s), 0);
        QCOMPARE(int(s.st_mode & 07777), newMode);
    }

private:
    QTemporaryDir m_dir;
    int m_serial = 0;
    QString freshPath()
    {
        const QString folder = m_dir.filePath(QString::number(++m_serial));
        return QDir().mkpath(folder) ? folder + u"/KALVENO.CFG"_s : QString();
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
