#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include <string>

#include "QtTestApp.h"
#include "TestHost.h"
#include "TfmInputString.h"

namespace {

std::string Text(const TfmInputString& dlg)
{
    char buf[TfmInputString::kTextSize + 8];
    EXPECT_TRUE(dlg.GetText(buf, sizeof buf));
    return buf;
}

// Types into the prompt once it is up and presses the given button.
int Answer(TfmInputString& dlg, const QString& typed, const char* button)
{
    testsupport::OnNextModal<TfmInputString>([typed, button](TfmInputString* d) {
        d->findChild<QLineEdit*>(QStringLiteral("edtString"))->setText(typed);
        d->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    });
    return dlg.exec();
}

TEST(TfmInputString, SetTextAndGetTextKeepTheirBounds)
{
    testsupport::TestHost host;
    TfmInputString dlg(host, nullptr);
    auto* edit = dlg.findChild<QLineEdit*>(QStringLiteral("edtString"));
    dlg.SetText("Profile 1");
    EXPECT_EQ(edit->text(), "Profile 1");
    dlg.SetText(nullptr);
    EXPECT_EQ(Text(dlg), "");

    dlg.SetText(std::string(2000, 'n').c_str());
    EXPECT_EQ(Text(dlg), std::string(1023, 'n'));
    // A two-byte character that would straddle the limit is dropped whole.
    dlg.SetText((std::string(1022, 'a') + "\xC3\xA9").c_str());
    EXPECT_EQ(Text(dlg), std::string(1022, 'a'));

    char small[4];
    dlg.SetText("abcdef");
    EXPECT_TRUE(dlg.GetText(small, sizeof small));
    EXPECT_STREQ(small, "abc");
    EXPECT_FALSE(dlg.GetText(nullptr, 10));
    char untouched[2] = {'x', 'x'};
    EXPECT_FALSE(dlg.GetText(untouched, 0));
    EXPECT_EQ(untouched[0], 'x');
}

TEST(TfmInputString, OkTakesTheEnteredTextAndCancelKeepsTheProposal)
{
    testsupport::TestHost host;
    host.skinType = 4;
    TfmInputString dlg(host, nullptr);
    EXPECT_EQ(dlg.styleSheet(), skin::SkinStyleSheet(4));
    EXPECT_FALSE(dlg.styleSheet().isEmpty());
    dlg.SetCaption("Choose a name for the profile");
    EXPECT_EQ(dlg.windowTitle(), "Choose a name for the profile");
    EXPECT_EQ(dlg.findChild<QWidget*>(QStringLiteral("sfInputString"))->windowTitle(), "Choose a name for the profile");

    dlg.SetText("Profile 2");
    EXPECT_EQ(Answer(dlg, QStringLiteral("typed then cancelled"), "sbtnCancel"), QDialog::Rejected);
    EXPECT_EQ(Text(dlg), "Profile 2");
    EXPECT_EQ(Answer(dlg, QStringLiteral("Evening clips"), "sbtnOK"), QDialog::Accepted);
    EXPECT_EQ(Text(dlg), "Evening clips");
    EXPECT_EQ(Answer(dlg, QString(1500, QLatin1Char('z')), "sbtnOK"), QDialog::Accepted);
    EXPECT_EQ(Text(dlg), std::string(1023, 'z'));
}

TEST(TfmInputString, NullCaptionIsAProgrammingError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testsupport::TestHost host;
    TfmInputString dlg(host, nullptr);
    EXPECT_DEATH(dlg.SetCaption(nullptr), "Assertion failed: szCaption");
}

} // namespace
