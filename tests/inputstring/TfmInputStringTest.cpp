#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include <cstring>
#include <string>

#include "QtTestApp.h"
#include "TestHost.h"
#include "TfmInputString.h"

namespace {

using testsupport::OnNextModal;

std::string Text(const TfmInputString& dlg)
{
    char buf[TfmInputString::kTextSize + 8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_TRUE(dlg.GetText(buf, sizeof buf));
    return buf;
}

// Types text into the prompt once it is up and presses the given button.
void Answer(const QString& typed, const char* button)
{
    OnNextModal<TfmInputString>([typed, button](TfmInputString* d) {
        d->findChild<QLineEdit*>(QStringLiteral("edtString"))->setText(typed);
        d->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    });
}

class TfmInputStringTest : public ::testing::Test {
protected:
    testsupport::TestHost host;
};

TEST_F(TfmInputStringTest, OpensWithItsCaptionSizeAndTheMainWindowsSkin)
{
    host.skinType = 4;
    TfmInputString dlg(host, nullptr);
    EXPECT_EQ(dlg.windowTitle(), "Input String");
    EXPECT_EQ(dlg.findChild<QWidget*>(QStringLiteral("sfInputString"))->windowTitle(), "Input String");
    EXPECT_EQ(dlg.size(), QSize(444, 151));
    EXPECT_EQ(host.skinsApplied, 1);
    EXPECT_FALSE(dlg.styleSheet().isEmpty());
    EXPECT_EQ(dlg.styleSheet(), skin::SkinStyleSheet(4));
    EXPECT_EQ(Text(dlg), "");

    EXPECT_TRUE(dlg.SetCaption("Choose a name for the profile"));
    EXPECT_EQ(dlg.windowTitle(), "Choose a name for the profile");
    EXPECT_EQ(dlg.findChild<QWidget*>(QStringLiteral("sfInputString"))->windowTitle(), "Choose a name for the profile");
}

TEST_F(TfmInputStringTest, SetTextKeepsAtMost1023BytesAndShowsThem)
{
    TfmInputString dlg(host, nullptr);
    auto* edit = dlg.findChild<QLineEdit*>(QStringLiteral("edtString"));

    EXPECT_TRUE(dlg.SetText("Profile 1"));
    EXPECT_EQ(edit->text(), "Profile 1");
    EXPECT_EQ(Text(dlg), "Profile 1");

    EXPECT_TRUE(dlg.SetText(nullptr));
    EXPECT_EQ(edit->text(), "");
    EXPECT_EQ(Text(dlg), "");

    const std::string longText(2000, 'n');
    dlg.SetText(longText.c_str());
    EXPECT_EQ(Text(dlg), std::string(1023, 'n'));
    EXPECT_EQ(edit->text().size(), 1023);

    // A two-byte character that would straddle the limit is dropped whole.
    const std::string straddling = std::string(1022, 'a') + "\xC3\xA9";
    dlg.SetText(straddling.c_str());
    EXPECT_EQ(Text(dlg), std::string(1022, 'a'));
}

TEST_F(TfmInputStringTest, GetTextBoundsItsCopyToTheCallersBuffer)
{
    TfmInputString dlg(host, nullptr);
    dlg.SetText("abcdef");
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_TRUE(dlg.GetText(small, sizeof small));
    EXPECT_STREQ(small, "abc");
    EXPECT_FALSE(dlg.GetText(nullptr, 10));
    char untouched[2] = {'x', 'x'};
    EXPECT_FALSE(dlg.GetText(untouched, 0));
    EXPECT_EQ(untouched[0], 'x');
}

TEST_F(TfmInputStringTest, OkTakesTheEnteredTextAndCancelKeepsTheProposal)
{
    {
        TfmInputString dlg(host, nullptr);
        dlg.SetText("Profile 2");
        Answer(QStringLiteral("Evening clips"), "sbtnOK");
        EXPECT_EQ(dlg.exec(), QDialog::Accepted);
        EXPECT_EQ(Text(dlg), "Evening clips");
    }
    {
        TfmInputString dlg(host, nullptr);
        dlg.SetText("Profile 2");
        Answer(QStringLiteral("typed then cancelled"), "sbtnCancel");
        EXPECT_EQ(dlg.exec(), QDialog::Rejected);
        EXPECT_EQ(Text(dlg), "Profile 2");
    }
    {
        TfmInputString dlg(host, nullptr);
        Answer(QString(1500, QLatin1Char('z')), "sbtnOK");
        EXPECT_EQ(dlg.exec(), QDialog::Accepted);
        EXPECT_EQ(Text(dlg), std::string(1023, 'z'));
    }
}

TEST_F(TfmInputStringTest, NullCaptionIsAProgrammingError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TfmInputString dlg(host, nullptr);
    EXPECT_DEATH(dlg.SetCaption(nullptr), "Assertion failed: szCaption");
}

} // namespace
