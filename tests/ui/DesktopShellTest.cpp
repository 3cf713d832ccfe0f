// Shell open hands the desktop a URL, never a command line, and a file
// name's bytes arrive as they are.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QFileDevice>
#include <QUrl>

#include <string>

#include "DesktopShell.h"

namespace {

std::string PathBytes(const QUrl& url)
{
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

TEST(DesktopShell, LocalPathsAndFolderAddressesBecomeFileUrlsOfTheirBytes)
{
    const std::string odd = "/videos/caf\xe9 $(touch x) `y` \"q\" 'r' #1 ?2 %3\nnew -d.wmv";
    const QUrl file = ui::ShellUrl(odd);
    EXPECT_TRUE(file.isValid());
    EXPECT_EQ(file.scheme(), "file");
    EXPECT_EQ(PathBytes(file), odd);
    EXPECT_TRUE(file.query().isEmpty());
    EXPECT_TRUE(file.fragment().isEmpty());

    const QUrl folder = ui::ShellUrl("file:///videos/caf\xe9/");
    EXPECT_EQ(folder.scheme(), "file");
    EXPECT_EQ(PathBytes(folder), "/videos/caf\xe9/");

    // UTF-8 names give the same URL as Qt's own for a local file.
    EXPECT_EQ(ui::ShellUrl("/home/ann/Vidéos/clip one.wmv"),
              QUrl::fromLocalFile(QString::fromUtf8("/home/ann/Vidéos/clip one.wmv")));
}

TEST(DesktopShell, WebAddressesStayAsTheyAre)
{
    EXPECT_EQ(ui::ShellUrl("https://www.morvane.com/morvane/prerequisite.html"),
              QUrl(QStringLiteral("https://www.morvane.com/morvane/prerequisite.html")));
    // Text without a scheme is a file name, however it reads.
    const QUrl plain = ui::ShellUrl("-rf clip.wmv");
    EXPECT_TRUE(plain.isLocalFile());
    EXPECT_EQ(plain.toLocalFile(), "-rf clip.wmv");
}

// The desktop's MIME lists decide whether a file has a program; the help
// falls back to its HTML form when the CHM file has none.
TEST(DesktopShell, AProgramForAFileComesFromTheDesktopsMimeLists)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString data = home.path() + "/data", config = home.path() + "/config";
    for (const QString& d : {data + "/applications", config})
        QDir().mkpath(d);
    qputenv("XDG_DATA_HOME", (home.path() + "/none").toUtf8());
    // The system's folder stays listed: the kinds of file are described there.
    qputenv("XDG_DATA_DIRS", (data + ":/usr/share").toUtf8());
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    qputenv("XDG_CONFIG_DIRS", (home.path() + "/none").toUtf8());
    auto write = [](const QString& file, const QByteArray& text) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    const QString chm = home.path() + "/mrhelp.chm";
    write(chm, "ITSF");

    if (ui::DesktopHasProgramFor(chm))
        GTEST_SKIP() << "this machine has a CHM viewer of its own";
    EXPECT_FALSE(ui::DesktopHasProgramFor(home.path() + "/missing.chm"));
    write(data + "/applications/mimeinfo.cache", "[MIME Cache]\ntext/html=browser.desktop;\n");
    EXPECT_FALSE(ui::DesktopHasProgramFor(chm));
    write(config + "/mimeapps.list", "[Removed Associations]\napplication/vnd.ms-htmlhelp=viewer.desktop;\n");
    EXPECT_FALSE(ui::DesktopHasProgramFor(chm));
    write(data + "/applications/mimeinfo.cache",
          "[MIME Cache]\ntext/html=browser.desktop;\napplication/vnd.ms-htmlhelp=viewer.desktop;\n");
    EXPECT_TRUE(ui::DesktopHasProgramFor(chm));
}

// Whether the desktop can open an address or a file at all: a program for
// it in the MIME lists, else a web browser, which the launcher falls back to.
TEST(DesktopShell, AnAddressOrAFileOpensWithItsProgramOrElseABrowser)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString data = home.path() + "/data", bin = home.path() + "/bin";
    for (const QString& d : {data + "/applications", bin})
        QDir().mkpath(d);
    qputenv("XDG_DATA_HOME", (home.path() + "/none").toUtf8());
    qputenv("XDG_DATA_DIRS", (data + ":/usr/share").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/none").toUtf8());
    qputenv("XDG_CONFIG_DIRS", (home.path() + "/none").toUtf8());
    const QByteArray path = qgetenv("PATH"), browser = qgetenv("BROWSER");
    qputenv("PATH", bin.toUtf8());
    qunsetenv("BROWSER");
    auto write = [](const QString& file, const QByteArray& text) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    const QUrl site(QStringLiteral("https://www.morvane.com/"));
    const QUrl clip = QUrl::fromLocalFile(home.path() + "/clip.wmv"), folder = QUrl::fromLocalFile(home.path());
    write(clip.toLocalFile(), "ASF");

    // The system's lists stay in reach (the kinds of file are described
    // beside them); a machine whose lists name programs for these cannot
    // show the fall-backs.
    bool own = false;
    for (const char* list : {"mimeinfo.cache", "defaults.list", "mimeapps.list"}) {
        QFile f(QStringLiteral("/usr/share/applications/") + QLatin1String(list));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                own = own || line.startsWith("x-scheme-handler/https=") || line.startsWith("video/x-ms-wmv=") ||
                      line.startsWith("inode/directory=");
    }
    if (!own) {
        EXPECT_FALSE(ui::DesktopCanOpen(site));
        EXPECT_FALSE(ui::DesktopCanOpen(clip));
        EXPECT_FALSE(ui::DesktopCanOpen(folder));
        // A file that is not there is the launcher's to report.
        EXPECT_TRUE(ui::DesktopCanOpen(QUrl::fromLocalFile(home.path() + "/missing.wmv")));
        write(data + "/applications/mimeinfo.cache",
              "[MIME Cache]\nx-scheme-handler/https=browser.desktop;\nvideo/x-ms-wmv=player.desktop;\n");
        EXPECT_TRUE(ui::DesktopCanOpen(site));
        EXPECT_TRUE(ui::DesktopCanOpen(clip));
        EXPECT_FALSE(ui::DesktopCanOpen(folder));
        write(data + "/applications/mimeinfo.cache", "[MIME Cache]\n");
        write(bin + "/x-www-browser", "#!/bin/sh\n");
        QFile(bin + "/x-www-browser").setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_TRUE(ui::DesktopCanOpen(site));
        EXPECT_TRUE(ui::DesktopCanOpen(folder));
    }
    qputenv("PATH", path);
    if (!browser.isNull())
        qputenv("BROWSER", browser);
    if (own)
        GTEST_SKIP() << "this machine's MIME lists have programs for these of their own";
}

} // namespace
