#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include <string>
#include <vector>

#include "LinkLabel.h"
#include "QtTestApp.h"
#include "TestHost.h"
#include "TfmAbout.h"
#include "WinUtil.h"
#include "main/ProductLinks.h"

namespace {

class TfmAboutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cx::SetShellOpener([this](const std::string& t) {
            opened.push_back(t);
            return true;
        });
    }
    void TearDown() override { cx::SetShellOpener(nullptr); }

    testsupport::TestHost host;
    std::vector<std::string> opened;
};

TEST_F(TfmAboutTest, ShowsTheProductInTheMainWindowsSkin)
{
    host.skinType = 5;
    TfmAbout about(host, nullptr);
    EXPECT_EQ(host.skinsApplied, 1);
    EXPECT_EQ(about.Skin().Style(), 5);
    EXPECT_EQ(about.styleSheet(), skin::SkinStyleSheet(5));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Morvane Converter Pro"));
    EXPECT_EQ(about.size(), QSize(355, 199));
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("Morvane Converter Pro"));
    EXPECT_TRUE(about.findChild<QLabel*>(QStringLiteral("Label1"))->font().bold());
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("Version 2.5.0.1200"));
    EXPECT_FALSE(about.findChild<QLabel*>(QStringLiteral("imgLogo"))->pixmap().isNull());
    EXPECT_EQ(about.findChild<QPushButton*>(QStringLiteral("sbtnOK"))->text(), QStringLiteral("&OK"));

    auto* link = about.findChild<skin::LinkLabel*>(QStringLiteral("suiURLLabel1"));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), QStringLiteral("Welcome to Morvane Converter Pro"));
    link->Open();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], product::kWelcomePage);
}

TEST_F(TfmAboutTest, OkAndTheFrameBothCloseIt)
{
    {
        TfmAbout about(host, nullptr);
        testsupport::OnNextModal<TfmAbout>(
            [](TfmAbout* d) { d->findChild<QPushButton*>(QStringLiteral("sbtnOK"))->click(); });
        EXPECT_EQ(about.exec(), QDialog::Accepted);
        EXPECT_FALSE(about.isVisible());
    }
    {
        TfmAbout about(host, nullptr);
        testsupport::OnNextModal<TfmAbout>([](TfmAbout* d) { d->close(); });
        EXPECT_EQ(about.exec(), QDialog::Rejected);
        EXPECT_FALSE(about.isVisible());
    }
}

} // namespace
