// Shell open hands the desktop a URL, never a command line, and a file
// name's bytes arrive as they are.
#include <gtest/gtest.h>

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

} // namespace
