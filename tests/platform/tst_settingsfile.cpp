#include "platform/locations.h"
#include "platform/readsettingsfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using kalveno::ConsoleSettings;
using kalveno::SettingsFileRead;

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
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size() && ::chmod(QFile::encodeName(path), mode) == 0;
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

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void awkwardFiles_data();
    void awkwardFiles();

private:
    QTemporaryDir m_dir;
    int m_serial = 0;
    QString freshPath()
    {
        const QString folder = m_dir.filePath(QString::number(++m_serial));
        return QDir().mkpath(folder) ? folder + u"/KALVENO.CFG"_s : QString();
    }
};

void TestSettingsFile::awkwardFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<int>("status");
    constexpr qsizetype limit = ConsoleSettings::ReadLimit;
    constexpr int missing = SettingsFileRead::Missing;
    constexpr int read = SettingsFileRead::Read;
    constexpr int unreadable = SettingsFileRead::Unreadable;
    QTest::newRow("missing") << u"none"_s << limit << missing;
    QTest::newRow("as long as the limit") << u"file"_s << limit << read;
    QTest::newRow("a byte too long") << u"file"_s << limit + 1 << unreadable;
    QTest::newRow("link") << u"link"_s << limit << read;
    QTest::newRow("relative link") << u"relative link"_s << limit << read;
    QTest::newRow("link to a link") << u"link to a link"_s << limit << read;
    QTest::newRow("dangling link") << u"dangling"_s << limit << unreadable;
    QTest::newRow("read-only") << u"read-only"_s << limit << read;
    QTest::newRow("permission denied") << u"mode 000"_s << limit << unreadable;
    QTest::newRow("fifo") << u"fifo"_s << limit << unreadable;
    QTest::newRow("link to /dev/zero") << u"device"_s << limit << unreadable;
    QTest::newRow("loop of links") << u"loop"_s << limit << unreadable;
}

// Each thing is read as by an ordinary user.
void TestSettingsFile::awkwardFiles()
{
    QFETCH(QString, kind);
    QFETCH(qsizetype, size);
    QFETCH(int, status);
    const QString path = freshPath();
    QVERIFY(make(kind, path, QByteArray(size, 'x')));
    AsAnOrdinaryUser user;
    QVERIFY(user.dropped);
    const SettingsFileRead read = kalveno::readSettingsFile(path, ConsoleSettings::ReadLimit);
    QCOMPARE(int(read.status), status);
    QCOMPARE(read.content.size(), status == SettingsFileRead::Read ? size : 0);
    QCOMPARE(read.why.isEmpty(), status != SettingsFileRead::Unreadable);
    QCOMPARE(ConsoleSettings::load(path).readProblem, read.why);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
