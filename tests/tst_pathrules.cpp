#include "TestMain.h"
#include "filedialog/Drives.h"
#include "filedialog/FilePattern.h"
#include "filedialog/PathRules.h"
#include "TestPlatform.h"

#include <QtTest>

using namespace filedialog;

Q_DECLARE_METATYPE(filedialog::PathStyle)

namespace {

const QString WinApp = QStringLiteral("D:\\Tools");
const QString PosixApp = QStringLiteral("/opt/tools");

PathRules windowsRules(const QString& appDir = WinApp)
{
    return PathRules(PathStyle::Windows, appDir);
}

PathRules posixRules(const QString& appDir = PosixApp)
{
    return PathRules(PathStyle::Posix, appDir);
}

} // namespace

class TestPathRules : public QObject {
    Q_OBJECT

private slots:
    void absoluteNames_data()
    {
        QTest::addColumn<PathStyle>("style");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("absolute");
        QTest::newRow("win drive path") << PathStyle::Windows << "C:\\Data\\book.xls" << true;
        QTest::newRow("win drive without root") << PathStyle::Windows << "C:book.xls" << true;
        QTest::newRow("win network path") << PathStyle::Windows << "\\\\srv\\share\\b.xls" << true;
        QTest::newRow("win two backslashes inside") << PathStyle::Windows << "a\\\\b.xls" << true;
        QTest::newRow("win colon anywhere") << PathStyle::Windows << "sub\\a:b" << true;
        QTest::newRow("win bare name") << PathStyle::Windows << "book.xls" << false;
        QTest::newRow("win relative directory") << PathStyle::Windows << "sub\\book.xls" << false;
        QTest::newRow("win one leading backslash") << PathStyle::Windows << "\\Data\\b.xls" << false;
        QTest::newRow("win forward slashes") << PathStyle::Windows << "/data/b.xls" << false;
        QTest::newRow("posix root path") << PathStyle::Posix << "/data/book.xls" << true;
        QTest::newRow("posix bare name") << PathStyle::Posix << "book.xls" << false;
        QTest::newRow("posix relative directory") << PathStyle::Posix << "sub/book.xls" << false;
        QTest::newRow("posix drive letter is a name") << PathStyle::Posix << "C:\\b.xls" << false;
        QTest::newRow("posix empty") << PathStyle::Posix << "" << false;
    }
    void absoluteNames()
    {
        QFETCH(PathStyle, style);
        QFETCH(QString, name);
        QFETCH(bool, absolute);
        QCOMPARE(PathRules(style, QStringLiteral("x")).isAbsolute(name), absolute);
    }

    // What a caller reads back for a stored file name.
    void members_data()
    {
        QTest::addColumn<PathStyle>("style");
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("fullPath");
        QTest::addColumn<QString>("shortName");
        QTest::addColumn<QString>("filePath");

        const auto win = PathStyle::Windows;
        QTest::newRow("win empty") << win << WinApp << "" << "D:\\Tools\\" << "" << "D:\\Tools\\";
        QTest::newRow("win bare name")
            << win << WinApp << "book.xls" << "D:\\Tools\\book.xls" << "book.xls" << "D:\\Tools\\";
        QTest::newRow("win relative with directory")
            << win << WinApp << "sub\\book.xls" << "D:\\Tools\\sub\\book.xls" << "book.xls" << "sub\\";
        QTest::newRow("win full path") << win << WinApp << "C:\\Data\\book.xls"
                                       << "C:\\Data\\book.xls" << "book.xls" << "C:\\Data\\";
        QTest::newRow("win drive root")
            << win << WinApp << "C:\\book.xls" << "C:\\book.xls" << "book.xls" << "C:\\";
        QTest::newRow("win network path")
            << win << WinApp << "\\\\srv\\share\\dir\\book.xls" << "\\\\srv\\share\\dir\\book.xls"
            << "book.xls" << "\\\\srv\\share\\dir\\";
        QTest::newRow("win colon is no separator")
            << win << WinApp << "C:book.xls" << "C:book.xls" << "C:book.xls" << "D:\\Tools\\";
        QTest::newRow("win app dir at a drive root")
            << win << "C:\\" << "book.xls" << "C:\\book.xls" << "book.xls" << "C:\\";
        QTest::newRow("win app dir given with its backslash")
            << win << "D:\\Tools\\" << "book.xls" << "D:\\Tools\\book.xls" << "book.xls" << "D:\\Tools\\";
        QTest::newRow("win kept as written")
            << win << WinApp << " Book.XLS " << "D:\\Tools\\ Book.XLS " << " Book.XLS " << "D:\\Tools\\";

        const auto posix = PathStyle::Posix;
        QTest::newRow("posix empty") << posix << PosixApp << "" << "/opt/tools/" << "" << "/opt/tools/";
        QTest::newRow("posix bare name")
            << posix << PosixApp << "book.xls" << "/opt/tools/book.xls" << "book.xls" << "/opt/tools/";
        QTest::newRow("posix relative with directory") << posix << PosixApp << "sub/book.xls"
                                                       << "/opt/tools/sub/book.xls" << "book.xls" << "sub/";
        QTest::newRow("posix full path")
            << posix << PosixApp << "/data/book.xls" << "/data/book.xls" << "book.xls" << "/data/";
        QTest::newRow("posix root") << posix << PosixApp << "/book.xls" << "/book.xls" << "book.xls" << "/";
        QTest::newRow("posix backslash is a name character")
            << posix << PosixApp << "a\\b.xls" << "/opt/tools/a\\b.xls" << "a\\b.xls" << "/opt/tools/";
        QTest::newRow("posix app dir at the root")
            << posix << "/" << "book.xls" << "/book.xls" << "book.xls" << "/";
    }
    void members()
    {
        QFETCH(PathStyle, style);
        QFETCH(QString, appDir);
        QFETCH(QString, fileName);
        const PathRules rules(style, appDir);
        QTEST(rules.fullPath(fileName), "fullPath");
        QTEST(rules.shortName(fileName), "shortName");
        QTEST(rules.filePath(fileName), "filePath");
    }

    // The file name an accepted OK stores, and what the members then give.
    void acceptedChoice_data()
    {
        QTest::addColumn<PathStyle>("style");
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("fullPath");
        QTest::addColumn<QString>("filePath");

        const auto win = PathStyle::Windows;
        QTest::newRow("win other directory") << win << WinApp << "C:\\Data" << "book.xls"
                                             << "C:\\Data\\book.xls" << "C:\\Data\\book.xls"
                                             << "C:\\Data\\";
        QTest::newRow("win drive root keeps one backslash")
            << win << WinApp << "C:\\" << "book.xls" << "C:\\book.xls" << "C:\\book.xls" << "C:\\";
        QTest::newRow("win app dir in other letter case") << win << WinApp << "d:\\tools" << "book.xls"
                                                          << "book.xls" << "D:\\Tools\\book.xls"
                                                          << "D:\\Tools\\";
        QTest::newRow("win subdirectory of the app dir")
            << win << WinApp << "D:\\Tools\\sub" << "b.xls" << "D:\\Tools\\sub\\b.xls"
            << "D:\\Tools\\sub\\b.xls" << "D:\\Tools\\sub\\";
        QTest::newRow("win app dir at the root chosen in it")
            << win << "C:\\" << "c:\\" << "book.xls" << "book.xls" << "C:\\book.xls" << "C:\\";
        QTest::newRow("win spaces trimmed") << win << WinApp << "C:\\Data" << "  book.xls  "
                                            << "C:\\Data\\book.xls" << "C:\\Data\\book.xls"
                                            << "C:\\Data\\";
        QTest::newRow("win network share") << win << WinApp << "\\\\srv\\share" << "b.xls"
                                           << "\\\\srv\\share\\b.xls" << "\\\\srv\\share\\b.xls"
                                           << "\\\\srv\\share\\";

        const auto posix = PathStyle::Posix;
        QTest::newRow("posix other directory") << posix << PosixApp << "/data" << "book.xls"
                                               << "/data/book.xls" << "/data/book.xls" << "/data/";
        QTest::newRow("posix root keeps one slash")
            << posix << PosixApp << "/" << "book.xls" << "/book.xls" << "/book.xls" << "/";
        QTest::newRow("posix app dir") << posix << PosixApp << "/opt/tools" << "book.xls"
                                       << "book.xls" << "/opt/tools/book.xls" << "/opt/tools/";
        QTest::newRow("posix letter case counts") << posix << PosixApp << "/opt/Tools" << "book.xls"
                                                  << "/opt/Tools/book.xls" << "/opt/Tools/book.xls"
                                                  << "/opt/Tools/";
        QTest::newRow("posix app dir at the root")
            << posix << "/" << "/" << " book.xls" << "book.xls" << "/book.xls" << "/";
    }
    void acceptedChoice()
    {
        QFETCH(PathStyle, style);
        QFETCH(QString, appDir);
        QFETCH(QString, directory);
        QFETCH(QString, typed);
        QFETCH(QString, fileName);
        const PathRules rules(style, appDir);
        const QString stored = rules.acceptedFileName(directory, typed);
        QCOMPARE(stored, fileName);
        QTEST(rules.fullPath(stored), "fullPath");
        QCOMPARE(rules.shortName(stored), typed.trimmed());
        QTEST(rules.filePath(stored), "filePath");
        QVERIFY(rules.isAbsolute(rules.fullPath(stored)));
    }

    void presetSplit_data()
    {
        QTest::addColumn<PathStyle>("style");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("directory");

        const auto win = PathStyle::Windows;
        QTest::newRow("win full path") << win << "C:\\Data\\book.xls" << "book.xls" << "C:" << "C:\\Data\\";
        QTest::newRow("win bare name") << win << "book.xls" << "book.xls" << "" << "";
        QTest::newRow("win drive without root") << win << "C:book.xls" << "book.xls" << "C:" << "C:";
        QTest::newRow("win relative") << win << "sub\\book.xls" << "book.xls" << "" << "sub\\";
        QTest::newRow("win network") << win << "\\\\srv\\share\\b.xls" << "b.xls" << "" << "\\\\srv\\share\\";
        QTest::newRow("win directory only") << win << "C:\\Data\\" << "" << "C:" << "C:\\Data\\";
        QTest::newRow("win colon after the last backslash")
            << win << "C:\\a\\b:c.xls" << "c.xls" << "C:" << "C:\\a\\b:";
        QTest::newRow("win slash is no separator") << win << "a/b.xls" << "a/b.xls" << "" << "";

        const auto posix = PathStyle::Posix;
        QTest::newRow("posix full path") << posix << "/data/book.xls" << "book.xls" << "/data/" << "/data/";
        QTest::newRow("posix root") << posix << "/book.xls" << "book.xls" << "/" << "/";
        QTest::newRow("posix bare name") << posix << "book.xls" << "book.xls" << "" << "";
        QTest::newRow("posix relative") << posix << "sub/book.xls" << "book.xls" << "" << "sub/";
        QTest::newRow("posix colon is a name character") << posix << "C:book.xls" << "C:book.xls" << "" << "";
    }
    void presetSplit()
    {
        QFETCH(PathStyle, style);
        QFETCH(QString, fileName);
        const PresetParts parts = PathRules(style, QStringLiteral("x")).splitPreset(fileName);
        QTEST(parts.name, "name");
        QTEST(parts.drive, "drive");
        QTEST(parts.directory, "directory");
    }

    void driveHolds_data()
    {
        QTest::addColumn<PathStyle>("style");
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("holds");
        const auto win = PathStyle::Windows;
        QTest::newRow("win same letter other case") << win << "C:\\" << "c:\\data" << true;
        QTest::newRow("win bare drive") << win << "C:\\" << "c:" << true;
        QTest::newRow("win drive without root") << win << "C:\\" << "C:book.xls" << true;
        QTest::newRow("win other letter") << win << "C:\\" << "D:\\data" << false;
        QTest::newRow("win share") << win << "\\\\srv\\share\\" << "\\\\SRV\\Share\\dir" << true;
        QTest::newRow("win other share") << win << "\\\\srv\\share\\" << "\\\\srv\\shared\\dir" << false;
        const auto posix = PathStyle::Posix;
        QTest::newRow("posix root holds all") << posix << "/" << "/media/usb/a" << true;
        QTest::newRow("posix mount point itself") << posix << "/media/usb" << "/media/usb" << true;
        QTest::newRow("posix mount point with slash") << posix << "/media/usb" << "/media/usb/" << true;
        QTest::newRow("posix below mount point") << posix << "/media/usb" << "/media/usb/a/b" << true;
        QTest::newRow("posix sibling with same prefix") << posix << "/media/usb" << "/media/usb2/a" << false;
        QTest::newRow("posix letter case") << posix << "/media/usb" << "/media/USB/a" << false;
        QTest::newRow("posix relative") << posix << "/" << "sub/a" << false;
    }
    void driveHolds()
    {
        QFETCH(PathStyle, style);
        QFETCH(QString, root);
        QFETCH(QString, path);
        QTEST(PathRules(style, QStringLiteral("x")).holds(root, path), "holds");
    }

    void drivesCurrentDirectories()
    {
        const PathRules rules = posixRules();
        QList<Drive> drives{{"/", {}, {}}, {"/media/usb", "USB", {}}, {"/media/usb/inner", {}, {}},
                            {"/mnt/data", {}, "/mnt/data/kept"}};
        QCOMPARE(DriveHolding(drives, "/media/usb/inner/x", rules), 2);
        QCOMPARE(DriveHolding(drives, "/media/usb2", rules), 0);
        QCOMPARE(DriveHolding(drives, "relative", rules), -1);

        AssignCurrentDirectories(drives, "/media/usb/work", rules);
        QCOMPARE(drives[0].currentDirectory, "/");
        QCOMPARE(drives[1].currentDirectory, "/media/usb/work");
        QCOMPARE(drives[2].currentDirectory, "/media/usb/inner");
        QCOMPARE(drives[3].currentDirectory, "/mnt/data/kept");

        QList<Drive> letters{{"C:\\", "SYSTEM", {}}, {"D:\\", {}, {}}};
        AssignCurrentDirectories(letters, "d:\\work", windowsRules());
        QCOMPARE(letters[0].currentDirectory, "C:\\");
        QCOMPARE(letters[1].currentDirectory, "d:\\work");
    }

    void driveText_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::newRow("posix root") << "/" << "" << "/";
        QTest::newRow("posix labelled root") << "/" << "rootfs" << "/ [rootfs]";
        QTest::newRow("mount point") << "/media/usb" << "STICK" << "/media/usb [STICK]";
        QTest::newRow("drive letter") << "C:\\" << "" << "C:";
        QTest::newRow("labelled drive letter") << "C:\\" << "SYSTEM" << "C: [SYSTEM]";
        QTest::newRow("share") << "\\\\srv\\share\\" << "" << "\\\\srv\\share";
    }
    void driveText()
    {
        QFETCH(QString, root);
        QFETCH(QString, label);
        QTEST((Drive{root, label, {}}.text()), "text");
    }

    void browsableMounts_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("browsable");
        QTest::newRow("root even on overlay") << "/" << QByteArray("overlay") << true;
        QTest::newRow("usb stick") << "/media/user/STICK" << QByteArray("vfat") << true;
        QTest::newRow("udisks media") << "/run/media/user/STICK" << QByteArray("exfat") << true;
        QTest::newRow("mnt disk") << "/mnt/data" << QByteArray("ext4") << true;
        QTest::newRow("network share") << "/srv/share" << QByteArray("cifs") << true;
        QTest::newRow("home partition") << "/home" << QByteArray("btrfs") << true;
        QTest::newRow("proc") << "/proc" << QByteArray("proc") << false;
        QTest::newRow("tmpfs") << "/dev/shm" << QByteArray("tmpfs") << false;
        QTest::newRow("cgroup") << "/sys/fs/cgroup" << QByteArray("cgroup2") << false;
        QTest::newRow("snap package") << "/snap/core/1" << QByteArray("squashfs") << false;
        QTest::newRow("user runtime dir") << "/run/user/1000" << QByteArray("ext4") << false;
        QTest::newRow("efi partition") << "/boot/efi" << QByteArray("vfat") << false;
        QTest::newRow("macOS system volume") << "/System/Volumes/Data" << QByteArray("apfs") << false;
    }
    void browsableMounts()
    {
        QFETCH(QString, root);
        QFETCH(QByteArray, type);
        QTEST(IsBrowsableMount(root, type), "browsable");
    }

    // Every drive listed is a directory, listed once, and the drive of the
    // current directory is among them and opens there: "/" first elsewhere,
    // the drive letters from GetLogicalDrives on Windows.
    void systemDrivesHoldTheCurrentDirectory()
    {
        QList<Drive> drives = SystemDrives();
        const QString here = QDir::toNativeSeparators(QDir::currentPath());
        QVERIFY(!drives.isEmpty());
        QSet<QString> roots;
        for (const Drive& d : drives) {
            QVERIFY2(QFileInfo(d.root).isDir(), qPrintable(d.root));
            QVERIFY2(!roots.contains(d.root), qPrintable(d.root));
            roots.insert(d.root);
        }
        AssignCurrentDirectories(drives, here, PathRules(NativePathStyle(), here));
        const auto holding = std::find_if(drives.cbegin(), drives.cend(), [&](const Drive& d) {
            return d.root == testplatform::RootOf(here);
        });
        QVERIFY(holding != drives.cend());
        QCOMPARE(holding->currentDirectory, here);
    }

    void patterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("all files") << "*.*" << "book.xls" << true;
        QTest::newRow("all files without extension") << "*.*" << "README" << true;
        QTest::newRow("extension") << "*.xls" << "book.xls" << true;
        QTest::newRow("letter case ignored") << "*.xls" << "BOOK.XLS" << true;
        QTest::newRow("longer extension") << "*.xls" << "book.xlsx" << false;
        QTest::newRow("second of two") << "*.xls;*.txt" << "notes.TXT" << true;
        QTest::newRow("neither of two") << "*.xls;*.txt" << "notes.doc" << false;
        QTest::newRow("spaces around parts") << "*.xls ; *.txt" << "notes.txt" << true;
        QTest::newRow("question mark one char") << "book?.xls" << "book1.xls" << true;
        QTest::newRow("question mark not two") << "book?.xls" << "book12.xls" << false;
        QTest::newRow("brackets are literal") << "[1].xls" << "[1].xls" << true;
        QTest::newRow("brackets are no set") << "[1].xls" << "1.xls" << false;
        QTest::newRow("dot is literal") << "a.b" << "axb" << false;
        QTest::newRow("named extension keeps the dot") << "book.*" << "bookish" << false;
        QTest::newRow("named extension without one") << "book.*" << "book" << true;
        QTest::newRow("chinese name") << "客户*.xls" << "客户资料.xls" << true;
        QTest::newRow("empty matches nothing") << "" << "book.xls" << false;
        QTest::newRow("only separators") << ";;" << "book.xls" << false;
    }
    void patterns()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        const std::optional<FilePattern> parsed = FilePattern::parse(pattern);
        QVERIFY(parsed);
        QTEST(parsed->matches(name), "matches");
    }

    void patternsNamingDirectoriesAreRefused()
    {
        QVERIFY(!FilePattern::parse("sub/*.xls"));
        QVERIFY(!FilePattern::parse("*.txt;C:\\*.xls"));
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestPathRules)
#include "tst_pathrules.moc"
